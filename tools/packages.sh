# Sourced by Korbelt's scripts (from the project root): installing what a script needs.

# as_root COMMAND...: runs the command as root: directly when this is root, else through sudo.
as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    elif command -v sudo >/dev/null 2>&1; then
        sudo "$@"
    else
        return 127
    fi
}

# install_missing PACKAGE...: installs those of the Debian packages that are not installed.
install_missing() {
    local missing=()
    for package in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$package")
        fi
    done
    [ ${#missing[@]} -gt 0 ] || return 0
    if [ "$(id -u)" -ne 0 ] && ! command -v sudo >/dev/null 2>&1; then
        echo "Missing packages: ${missing[*]}. Run this as root, install sudo, or install them" \
            "first (apt-get install ${missing[*]}); then run it again." >&2
        exit 1
    fi
    echo "Installing: ${missing[*]}"
    as_root apt-get update
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
}
