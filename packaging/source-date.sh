# The release's one date, sourced by the build and package scripts: SOURCE_DATE_EPOCH, the time
# of the last commit unless the caller set it. Every time written into a package is this one, so
# that the same commit gives the same files wherever and whenever it is built.
if [[ -z ${SOURCE_DATE_EPOCH:-} ]]; then
    SOURCE_DATE_EPOCH=$(git -C "$(dirname "${BASH_SOURCE[0]}")" log -1 --format=%ct) ||
        { echo "no git history here: set SOURCE_DATE_EPOCH to the release's time" >&2; exit 1; }
fi
export SOURCE_DATE_EPOCH

# The compiled program holds the date in what rcc writes for its resources (and, on Windows, in
# its PE header), which ninja does not know depend on it: a build folder that was built for
# another date makes them again. renew_dated_outputs BUILD_FOLDER PROGRAM...
renew_dated_outputs() {
    local folder=$1 stamp=$1/source-date-epoch
    shift
    if [[ -f $stamp && $(<"$stamp") == "$SOURCE_DATE_EPOCH" ]]; then
        return 0
    fi
    if [[ -d $folder ]]; then
        find "$folder" -name 'qrc_*.cpp' -path '*_autogen/*' -delete
        rm -f "$@"
    fi
    mkdir -p "$folder"
    echo "$SOURCE_DATE_EPOCH" >"$stamp"
}
