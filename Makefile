# make build | run | test | bench | soak | soak-fast | dist | dist-check: each installs what it needs on Debian 12 first.
.PHONY: all build run test bench soak soak-fast dist dist-check deps

all: build

deps:
	@scripts/install-deps.sh

build/mingw/CMakeCache.txt:
	@scripts/install-deps.sh
	@mkdir -p build
	@cmake --preset mingw >build/configure.log 2>&1 || (cat build/configure.log; exit 1)

# Quiet when there is nothing to do; the compiler's words when something fails.
build: deps build/mingw/CMakeCache.txt
	@out=$$(cmake --build --preset mingw -- --quiet 2>&1) || { echo "$$out"; exit 1; }; \
	echo "$$out" | grep -v '^ninja: no work to do\.$$' || true

run: build
	@scripts/run.sh

test: build
	@scripts/test.sh

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
