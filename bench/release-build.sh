# Sourced by the bench/run-*.sh scripts: sets root (the source tree) and build (BUILD, default
# build-release, relative to root) and defines release_build TARGET..., which configures the
# build folder as a Release build when it has no build files yet (again otherwise, so that a
# library installed since is found) and builds the targets.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD:-build-release}
case "$build" in
/*) ;;
*) build="$root/$build" ;;
esac

release_build() {
    if [[ ! -f "$build/CMakeCache.txt" ]]; then
        cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release
    else
        cmake -S "$root" -B "$build" >/dev/null
        if ! grep -q "^CMAKE_BUILD_TYPE:STRING=Release$" "$build/CMakeCache.txt"; then
            echo "warning: $build is not a Release build; the figures won't be representative" >&2
        fi
    fi
    cmake --build "$build" --target "$@"
}
