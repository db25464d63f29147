# Front door: make demo, make test.
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)
CMAKE_FLAGS = -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)

.PHONY: all deps build test test-fast test-asan demo bench clean

all: build

deps:
	@scripts/deps.sh

build: deps
	@cmake -S . -B build $(CMAKE_FLAGS) >/dev/null
	@cmake --build build -j $(JOBS)

# Every test in the normal build, then again under AddressSanitizer and UBSan.
test: build
	ctest --test-dir build --output-on-failure -j $(JOBS)
	@$(MAKE) --no-print-directory test-asan

test-asan: deps
	@cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DANNOT_SANITIZE=ON >/dev/null
	@cmake --build build-asan -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	  ctest --test-dir build-asan --output-on-failure -j $(JOBS)

demo: build
	@mkdir -p out
	build/bin/annot sample floorplan -o out/floorplan.pdf
	build/bin/annot run examples/demo.session -i out/floorplan.pdf -o out/demo.pdf
	build/bin/annot xfdf import out/floorplan.pdf examples/markup.xfdf -o out/markup.pdf
	build/bin/annot measure info out/markup.pdf
	@echo "demo: wrote out/demo.pdf and out/markup.pdf"

bench: build
	@scripts/deps.sh --bench
	bench/run.sh

clean:
	rm -rf build build-asan out
