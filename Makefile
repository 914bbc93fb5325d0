# wsmon: every target installs what it needs on a fresh Debian 12 machine first.
SHELL := /bin/bash
.DEFAULT_GOAL := test
.PHONY: test test-native test-asan test-windows bench demo package deps-native deps-windows clean \
        format check-format check-tidy

deps-native:
	@scripts/install-deps.sh native

deps-windows:
	@scripts/install-deps.sh windows

test-native: deps-native
	cmake --preset native >/dev/null
	cmake --build --preset native
	ctest --preset native

test-asan: deps-native
	cmake --preset asan >/dev/null
	cmake --build --preset asan
	ctest --preset asan

test-windows: deps-windows
	cmake --preset mingw >/dev/null
	cmake --build --preset mingw
	scripts/run-windows-tests.sh build/mingw

# Every fuzz harness for 20 s on a copy of its corpus (skipped where clang has no libFuzzer).
.PHONY: test-fuzz
test-fuzz: deps-native
	scripts/run-fuzz.sh

test: test-native test-asan test-windows test-fuzz

# build/packages: the Debian package of the Linux programs and the zip of the Windows program.
package: deps-native deps-windows
	cmake --preset native >/dev/null
	cmake --build --preset native
	cd build/native && cpack -G DEB -B $(CURDIR)/build/packages
	cmake --preset mingw >/dev/null
	cmake --build --preset mingw --target wsmon
	cd build/mingw && cpack -G ZIP -B $(CURDIR)/build/packages
	@rm -rf build/packages/_CPack_Packages
	@ls -l build/packages

bench: deps-native
	cmake --preset bench >/dev/null
	cmake --build --preset bench
	build/bench/bench/wsmon_bench
	build/bench/bench/wsmon_lines
	build/bench/bench/wsmon_capture
	build/bench/bench/wsmon_capture --network
	python3 -B bench/outputs_cpu.py build/bench/wsmon build/bench/wsmon-sim
	python3 -B bench/replay_speed.py build/bench/wsmon build/bench/wsmon-sim build/bench/bench/wsmon_bench

demo: deps-native
	cmake --preset native >/dev/null
	cmake --build --preset native
	scripts/demo.sh build/native

# The C++ sources that git tracks (every one below the source folders outside a git checkout).
CXX_SOURCES = $$(git ls-files '*.cpp' '*.h' 2>/dev/null || find src tests tools bench -name '*.cpp' -o -name '*.h')

format:
	clang-format -i $(CXX_SOURCES)

# Fails on any source that clang-format would change, naming the lines (.clang-format).
check-format: deps-native
	clang-format --dry-run --Werror $(CXX_SOURCES)

# Fails on any finding of clang-tidy (.clang-tidy) in the sources of src and tools that the Linux
# build compiles, two files at a time; the build first, for its compile database.
TIDY_SOURCES = $$( (git ls-files 'src/*.cpp' 'tools/*.cpp' 2>/dev/null || find src tools -name '*.cpp') | \
                   grep -v '^src/\(platform\|outputs\)/win32/')
check-tidy: deps-native
	cmake --preset native >/dev/null
	cmake --build --preset native
	@printf '%s\n' $(TIDY_SOURCES) | xargs -P2 -n4 clang-tidy -p build/native --quiet \
	  --warnings-as-errors='*' 2>&1 | grep -v '^[0-9]* warnings generated\.$$'; \
	  test $${PIPESTATUS[1]} -eq 0

clean:
	rm -rf build
