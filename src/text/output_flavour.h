#pragma once

namespace quarlex {

// Assembly: a label, DB lines and "_label = N".
// CSource:  an unsigned char array and "#define _label  N".
enum class OutputFlavour { Assembly, CSource };

}  // namespace quarlex
