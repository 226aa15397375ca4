# Sourced by the benchmarks that compare with metapixel: installs it from
# Debian when either of its two programs is missing.
install_metapixel() {
  command -v metapixel >/dev/null && command -v metapixel-prepare >/dev/null && return
  echo "installing metapixel from Debian"
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q metapixel >/dev/null
}
