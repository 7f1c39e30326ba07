# Sourced by the scripts that run Windows programs under Wine. Sets
# `wine_loader` (Wine's own program), `wine` (the command that starts a
# Windows program, as an array) and `wineserver`.
#
# Debian's Wine starts without a preloader, so nothing holds the addresses
# Wine needs before the C library places its heap, and address
# randomisation puts the heap anywhere in the gigabyte above the loader's
# fixed address. About one start in a thousand the heap covers the page
# that Wine maps at 0x7ffe0000 for every program, and the program never
# runs: "failed to map the shared user data", status 1, nothing printed
# under WINEDEBUG=-all. Without randomisation the heap starts right
# behind the loader, far below that page. Programs a Windows program
# starts inherit the setting.
wine_loader=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver64)
wine=(setarch "$(uname -m)" --addr-no-randomize "$wine_loader")
