# Entry points: `make demo`, `make test`, `make bench`, `make fuzz`, `make soak`.
BUILD      ?= build
BENCHBUILD ?= build-bench
FUZZBUILD  ?= build-fuzz
FUZZ_SECONDS ?= 60
JOBS       ?= $(shell nproc)
CMAKE_GEN  := -G Ninja

.PHONY: all deps bench-deps fuzz-deps configure build demo test bench fuzz soak format clean

all: build

# Install what the build needs when it is missing (Debian/Ubuntu, as root or via sudo).
deps:
	@bash scripts/ensure-deps.sh build

bench-deps:
	@bash scripts/ensure-deps.sh bench

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo

configure: $(BUILD)/build.ninja

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# The demo needs only the library and the tool, not the test suite. It runs
# in the build folder, so its picture (brenmark-demo.png) lands there.
demo: configure
	cmake --build $(BUILD) --target brenmark_tool -j $(JOBS)
	cd $(BUILD) && ./tools/brenmark

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

bench: bench-deps
	cmake -S . -B $(BENCHBUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DBRENMARK_BUILD_BENCH=ON -DBRENMARK_BUILD_TESTS=OFF
	cmake --build $(BENCHBUILD) -j $(JOBS)
	@rm -rf $(BENCHBUILD)/results && mkdir -p $(BENCHBUILD)/results
	@for b in $(BENCHBUILD)/bench/bench_*; do echo "== $$b"; \
	  SID_TEMP_DIR=$(CURDIR)/$(BENCHBUILD) $$b --benchmark_out=$(BENCHBUILD)/results/$$(basename $$b).json \
	    --benchmark_out_format=json || exit 1; done
	@echo "== Summary: every comparison with a peer (ratio above 1: Brenmark is faster)"
	@python3 bench/summary.py $(BENCHBUILD)/results

# The long soak run: a million dabs on a 10000 x 10000 canvas under a 32 MB
# budget, then without one; prints the memory curve and fails on drift,
# swap files that do not shrink back, leftovers or differing pictures.
soak: configure
	cmake --build $(BUILD) --target soak -j $(JOBS)
	mkdir -p $(BUILD)/swap-soak
	SID_TEMP_DIR=$(CURDIR)/$(BUILD)/swap-soak $(BUILD)/tests/soak

fuzz-deps:
	@bash scripts/ensure-deps.sh fuzz

# The libFuzzer harnesses (clang, ASan, UBSan), each run for FUZZ_SECONDS.
fuzz: fuzz-deps
	cmake -S . -B $(FUZZBUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DBRENMARK_BUILD_FUZZ=ON \
	  -DBRENMARK_BUILD_TESTS=OFF -DBRENMARK_BUILD_TOOLS=OFF -DBRENMARK_BUILD_BENCH=OFF
	cmake --build $(FUZZBUILD) --target fuzz_script fuzz_script_syntax fuzz_png fuzz_pen_samples \
	  fuzz_openraster -j $(JOBS)
	bash fuzz/run.sh $(FUZZBUILD) $(FUZZ_SECONDS)

format:
	git ls-files '*.h' '*.cpp' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(BENCHBUILD) build-asan
