# Fetching a Debian source package for a library the project builds itself with
# MinGW-w64. Sourced, not executed.
#
# The source index comes from the same mirrors the system already uses: its Debian
# sources file, with the binary entries turned into source entries. A private apt
# state keeps the system's own configuration untouched. apt checks every file it
# fetches against the signed index, so whatever lands in the folder is Debian's.

# fetch_debian_source PACKAGE FOLDER: the package's .dsc and the files it names in
# FOLDER, as far as the mirror has them; apt's output goes to FOLDER/apt.log. Fails when
# apt could not fetch every file (a caller that needs only some of them looks for those).
fetch_debian_source() {
  local package=$1 work=$2
  mkdir -p "$work/apt/sources.list.d" "$work/apt/lists/partial"
  local src_list="" f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    sed -e 's/^Types:.*/Types: deb-src/' "$f" >"$work/apt/sources.list.d/$(basename "$f")"
    src_list=yes
  done
  if [ -f /etc/apt/sources.list ] && grep -q '^deb ' /etc/apt/sources.list; then
    sed -n -e 's/^deb /deb-src /p' /etc/apt/sources.list >"$work/apt/sources.list.d/from-list.list"
    src_list=yes
  fi
  [ -n "$src_list" ] || { echo "error: no Debian sources file to derive a source entry from" >&2; return 1; }

  local apt_opts=(-o "Dir::Etc::SourceList=/dev/null"
                  -o "Dir::Etc::SourceParts=$work/apt/sources.list.d"
                  -o "Dir::State::Lists=$work/apt/lists"
                  -o "APT::Sandbox::User=root")
  apt-get "${apt_opts[@]}" update -qq >"$work/apt.log" 2>&1 || { cat "$work/apt.log" >&2; return 1; }
  (cd "$work" && apt-get "${apt_opts[@]}" source --download-only "$package" >>"$work/apt.log" 2>&1)
}
