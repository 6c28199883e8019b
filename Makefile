# make build | run | test | bench | soak | soak-fast | dist | dist-check: each installs what it needs on Debian 12 first.
# make format-check | check-clang | tidy: the clang tools (`make test` runs the first two);
# make test-debug: the tests against the mingw-debug build (symbols, -Og, libstdc++ assertions).
.PHONY: all build run test bench soak soak-fast dist dist-check deps format-check check-clang tidy build-debug test-debug

all: build

deps:
	@scripts/install-deps.sh

build/%/CMakeCache.txt: CMakePresets.json
	@scripts/install-deps.sh
	@mkdir -p build
	@cmake --preset $* >build/configure-$*.log 2>&1 || (cat build/configure-$*.log; exit 1)

# Quiet when there is nothing to do; the compiler's words when something fails.
build: deps build/mingw/CMakeCache.txt
	@out=$$(cmake --build --preset mingw -- --quiet 2>&1) || { echo "$$out"; exit 1; }; \
	echo "$$out" | grep -v '^ninja: no work to do\.$$' || true

run: build
	@scripts/run.sh

test: format-check build check-clang
	@scripts/test.sh

build-debug: deps build/mingw-debug/CMakeCache.txt
	@cmake --build --preset mingw-debug -- --quiet

test-debug: build-debug
	@KVZTL_TEST_PRESET=mingw-debug scripts/test.sh

# Every C++ source and header of the tree, formatted as .clang-format says.
format-check: deps
	@clang-format --dry-run --Werror $$(find src tests bench stand-in -name '*.cpp' -o -name '*.h') \
	  && echo "format-check: no changes needed"

check-clang: deps build/mingw/CMakeCache.txt
	@scripts/clang_tools.py syntax

tidy: deps build/mingw/CMakeCache.txt
	@scripts/clang_tools.py tidy

bench: build
	@scripts/bench.sh

soak: build
	@scripts/soak.sh

soak-fast: build
	@scripts/soak.sh fast

dist: deps
	@scripts/dist.sh

dist-check: deps
	@scripts/dist-check.sh
