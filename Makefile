# Front door: make demo, make test.
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)
CMAKE_FLAGS = -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)

.PHONY: all deps build test test-fast test-asan test-fuzz demo bench fuzz fuzz-build clean

all: build

deps:
	@scripts/deps.sh

build: deps
	@cmake -S . -B build $(CMAKE_FLAGS) >/dev/null
	@cmake --build build -j $(JOBS)

# Every test in the normal build, then again under AddressSanitizer and UBSan,
# then the libFuzzer builds of the fuzz targets replay their seed corpora.
test: build
	ctest --test-dir build --output-on-failure -j $(JOBS)
	@$(MAKE) --no-print-directory test-asan
	@$(MAKE) --no-print-directory test-fuzz

test-asan: deps
	@cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DANNOT_SANITIZE=ON >/dev/null
	@cmake --build build-asan -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/scripts/lsan.supp ctest --test-dir build-asan --output-on-failure -j $(JOBS)

demo: build
	@mkdir -p out
	build/bin/annot sample floorplan -o out/floorplan.pdf
	build/bin/annot run examples/demo.session -i out/floorplan.pdf -o out/demo.pdf
	build/bin/annot measure info out/demo.pdf
	pdftoppm -png -r 100 -singlefile out/demo.pdf out/demo
	build/bin/annot xfdf import out/floorplan.pdf examples/markup.xfdf -o out/markup.pdf
	build/bin/annot measure info out/markup.pdf
	@echo "demo: wrote out/demo.pdf, out/demo.png and out/markup.pdf"

bench: build
	@scripts/deps.sh --bench
	bench/run.sh

# libFuzzer on every parser: a clang build in build-fuzz, then each target for
# FUZZ_SECONDS with its seed corpus. New inputs and crashes go to
# $(FUZZ_OUT)/<target>/, never into the seed corpus; FUZZ_TARGETS picks some.
FUZZ_SECONDS ?= 60
FUZZ_OUT ?= fuzz-out
FUZZ_TARGETS ?= $(notdir $(wildcard fuzz/corpus/*))

fuzz-build:
	@scripts/deps.sh --fuzz
	@CC=clang-19 CXX=clang++-19 cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DANNOT_FUZZ=ON >/dev/null
	@cmake --build build-fuzz -j $(JOBS) --target fuzz_targets

test-fuzz: fuzz-build
	@passed=0; failed=0; for t in $(FUZZ_TARGETS); do \
	  if LSAN_OPTIONS=suppressions=$(CURDIR)/scripts/lsan.supp build-fuzz/bin/$${t}_fuzzer -runs=0 fuzz/corpus/$$t >build-fuzz/replay-$$t.log 2>&1; \
	  then passed=$$((passed + 1)); else failed=$$((failed + 1)); echo "fuzz: $$t failed its seed corpus:"; \
	    tail -n 30 build-fuzz/replay-$$t.log; fi; \
	done; echo "fuzz: $$passed passed, $$failed failed"; [ $$failed -eq 0 ]

fuzz: fuzz-build
	@failed=; for t in $(FUZZ_TARGETS); do \
	  mkdir -p $(FUZZ_OUT)/$$t/corpus; \
	  echo "fuzz: $$t for $(FUZZ_SECONDS) s"; \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/scripts/lsan.supp build-fuzz/bin/$${t}_fuzzer -max_total_time=$(FUZZ_SECONDS) -timeout=10 -print_final_stats=1 \
	    -artifact_prefix=$(FUZZ_OUT)/$$t/ $(FUZZ_OUT)/$$t/corpus fuzz/corpus/$$t \
	    2>$(FUZZ_OUT)/$$t/log || failed="$$failed $$t"; \
	  grep -E "^stat::number_of_executed_units|^stat::peak_rss_mb" $(FUZZ_OUT)/$$t/log | sed "s/^/  /"; \
	done; \
	if [ -n "$$failed" ]; then echo "fuzz: findings in:$$failed (see $(FUZZ_OUT)/<target>/log)"; exit 1; fi

clean:
	rm -rf build build-asan build-fuzz out $(FUZZ_OUT)
