# make build | make run | make test | make bench | make soak — each installs what it needs on Debian 12 first.
.PHONY: all build run test bench soak deps

all: build

deps:
	@scripts/install-deps.sh

build/mingw/CMakeCache.txt:
	@scripts/install-deps.sh
	@cmake --preset mingw >build-configure.log 2>&1 || (cat build-configure.log; exit 1)
	@rm -f build-configure.log

build: deps build/mingw/CMakeCache.txt
	@cmake --build --preset mingw -- --quiet

run: build
	@scripts/run.sh

test: build
	@scripts/test.sh

bench: build
	@scripts/bench.sh

soak: build
	@scripts/soak.sh
