# Sourced: the environment of the project's private Wine prefix.
# KORVELA_WINE_ROOT may point elsewhere; by default it lies in the build tree.
_korvela_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export KORVELA_WINE_ROOT="${KORVELA_WINE_ROOT:-$_korvela_root/build/wine}"
export WINEPREFIX="$KORVELA_WINE_ROOT/prefix"
export WINEARCH=win64
export HOME="$KORVELA_WINE_ROOT/home"
export XDG_CACHE_HOME="$HOME/.cache"
export XDG_CONFIG_HOME="$HOME/.config"
export XDG_DATA_HOME="$HOME/.local/share"
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko installers, no menu entries on the Linux side.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree=d;mshtml=d;winemenubuilder.exe=d}"
# No crash debugger, also where a test sets its own overrides: Wine's
# "winedbg --auto" would show its crash dialog on the invisible display and
# wait there, so a crashing program would end only at CTest's timeout.
# Without it the program ends at once, with Wine's line naming the exception
# ("Unhandled page fault on write access to ...", "Unhandled exception 0x...")
# and a failing exit status.
case ";$WINEDLLOVERRIDES;" in
  *";winedbg.exe=d;"*) ;;
  *) WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winedbg.exe=d" ;;
esac
unset _korvela_root
