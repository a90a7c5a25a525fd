# Debian 12 packages the build, the tests and the demo need; sourced by scripts/.
QUOVANT_PACKAGES=(
  cmake ninja-build g++ clang libclang-rt-14-dev pkg-config
  googletest libbenchmark-dev nlohmann-json3-dev libcpp-httplib-dev libssl-dev
  qt6-base-dev qt6-tools-dev qt6-l10n-tools qt6-translations-l10n qt6-qpa-plugins libxcb-xfixes0-dev qtkeychain-qt6-dev libsecret-1-0
  gnome-keyring libsecret-tools dunst libglib2.0-bin
  openvpn openssl iproute2 libnftables-dev libsystemd-dev nftables iperf3 iputils-ping util-linux procps psmisc
  dnsmasq-base busybox
  xvfb xauth xdotool trayer openbox x11-utils dbus imagemagick pkexec at-spi2-core python3-pyatspi
  sway waybar grim weston qt6-wayland
  systemd polkitd dpkg-dev lintian logrotate
)

# Installs whichever of the packages are missing (only those), as root or through sudo.
quovant_install_packages() {
  local missing=() p
  for p in "${QUOVANT_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  ((${#missing[@]})) || return 0
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  echo "installing: ${missing[*]}"
  "${sudo[@]}" apt-get update -q
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
}
