#include "platform/arguments_windows.h"

#include "platform/unicode_windows.h"

namespace quarlex {

Utf8Arguments::Utf8Arguments(int count, const wchar_t* const* arguments) {
  for (int i = 0; i < count; ++i) texts_.push_back(utf8_from_wide(arguments[i]));
  for (const std::string& text : texts_) values_.push_back(text.c_str());
  values_.push_back(nullptr);
}

}  // namespace quarlex
