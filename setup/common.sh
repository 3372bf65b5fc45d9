# Shared steps of setup/run-demo and setup/run-tests: install the missing
# Debian packages, then configure and build into build/ (or $QDR_BUILD_DIR).
# Sourced, not run.

repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${QDR_BUILD_DIR:-$repo_root/build}
jobs=2   # the build machines are small; never more than two compilers at once

say() { printf '%s\n' "$*" >&2; }

# Installs every package of setup/packages.txt that dpkg does not report as
# installed. As root it installs them; otherwise it prints the command to run
# and returns 1.
install_missing_packages() {
    local wanted missing=()
    if ! command -v dpkg-query >/dev/null 2>&1; then
        say "dpkg-query not found: not a Debian system, skipping the package check."
        return 0
    fi
    wanted=$(sed -e 's/#.*//' -e '/^[[:space:]]*$/d' "$repo_root/setup/packages.txt")
    for pkg in $wanted; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$pkg")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0

    if [ "$(id -u)" -ne 0 ]; then
        say "These packages are missing. Install them, then run this command again:"
        say "  sudo apt-get install -y --no-install-recommends ${missing[*]}"
        return 1
    fi
    say "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update
    apt-get install -y --no-install-recommends "${missing[@]}" </dev/null
}

# Configures (once) and builds the given targets, or everything.
build() {
    local generator=()
    if [ ! -f "$build_dir/CMakeCache.txt" ] && command -v ninja >/dev/null 2>&1; then
        generator=(-G Ninja)
    fi
    cmake -S "$repo_root" -B "$build_dir" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo
    if [ $# -gt 0 ]; then
        local t
        for t in "$@"; do
            cmake --build "$build_dir" --parallel "$jobs" --target "$t"
        done
    else
        cmake --build "$build_dir" --parallel "$jobs"
    fi
}
