# The two commands a newcomer needs: `make run` and `make test`.
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_GEN := -G Ninja
SAMPLE := samples/削除済みアイテム.dbx

.PHONY: deps build run test test-debug test-asan test-windows windows bench sample screenshots \
    windows-screenshots package test-package clean

# Windows programs run under Wine in a prefix of their own, made afresh for
# each test run, in Japan's time zone (the zone of the people Keldor is for).
WINDOWS_TOOLCHAIN := -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-w64-x86_64.cmake
WINE_ENV := WINEPREFIX=$(CURDIR)/build/wineprefix-test WINEDEBUG=-all \
    WINEDLLOVERRIDES="mscoree,mshtml=" TZ=Asia/Tokyo

# scripts/install-deps installs what each purpose needs: `make deps-fuzz` …
deps: deps-build

deps-%:
	@scripts/install-deps $*

build: deps-build
	cmake -S . -B build/release $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DKELDOR_BUILD_TESTS=OFF
	cmake --build build/release -j $(JOBS)

run: build
	@mkdir -p out
	build/release/cli/keldor-cli recover "$(SAMPLE)" --into out

test: deps-test test-debug test-asan test-windows test-fuzz test-package

test-debug:
	cmake -S . -B build/debug $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DWARNINGS_AS_ERRORS=ON
	cmake --build build/debug -j $(JOBS)
	ctest --test-dir build/debug --output-on-failure -j $(JOBS)

test-asan:
	cmake -S . -B build/asan $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DWARNINGS_AS_ERRORS=ON -DKELDOR_SANITIZE=ON
	cmake --build build/asan -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	    ctest --test-dir build/asan --output-on-failure -j $(JOBS)

# The core tests and keldor-cli.exe, cross-built with MinGW-w64 and run under
# Wine; then the Windows and the Linux programs compared on the same input.
test-windows: deps-windows-test
	cmake -S . -B build/debug $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DWARNINGS_AS_ERRORS=ON
	cmake --build build/debug -j $(JOBS) --target keldor-cli make_sample_mailbox keldor_cp932_table
	cmake -S . -B build/windows-test $(CMAKE_GEN) $(WINDOWS_TOOLCHAIN) -DCMAKE_BUILD_TYPE=Release \
	    -DWARNINGS_AS_ERRORS=ON -DKELDOR_LINUX_BUILD=$(CURDIR)/build/debug
	cmake --build build/windows-test -j $(JOBS)
	rm -rf build/wineprefix-test
	$(WINE_ENV) wineboot -i >/dev/null 2>&1
	$(WINE_ENV) ctest --test-dir build/windows-test --output-on-failure

# The Windows programs built for 64-bit Windows, packed with the help file
# (compiled from guide/) and the read-me.
windows: deps-windows
	cmake -S . -B build/windows $(CMAKE_GEN) $(WINDOWS_TOOLCHAIN) -DCMAKE_BUILD_TYPE=Release \
	    -DKELDOR_BUILD_TESTS=OFF -DWARNINGS_AS_ERRORS=ON
	cmake --build build/windows -j $(JOBS)
	scripts/pack-windows build/windows dist/keldor-windows-x64.zip

# The Debian package of the Linux programs (CPack), into dist/; then what a
# user gets from it checked, lintian included.
package: deps-package
	cmake -S . -B build/release $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DKELDOR_BUILD_TESTS=OFF
	cmake --build build/release -j $(JOBS)
	cpack --config build/release/CPackConfig.cmake -B build/release/package
	@ls dist/keldor_*_amd64.deb

test-package: package
	tests/package/check-package "$$(ls -t dist/keldor_*_amd64.deb | head -n 1)"

# libFuzzer targets (fuzz/), built with clang under ASan and UBSan. `make fuzz`
# runs each for FUZZ_SECONDS; `make test` runs each for a few seconds from its
# seeds. Any finding fails the run; see build/fuzz/fuzz-work/<target>/.
FUZZ_SECONDS ?= 300
.PHONY: fuzz-build fuzz test-fuzz

fuzz-build: deps-fuzz
	cmake -S . -B build/fuzz $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
	    -DWARNINGS_AS_ERRORS=ON -DENABLE_FUZZING=ON -DKELDOR_BUILD_TESTS=OFF -DKELDOR_BUILD_UI=OFF
	cmake --build build/fuzz -j $(JOBS) --target fuzz_targets

fuzz: fuzz-build
	fuzz/run-fuzz build/fuzz $(FUZZ_SECONDS)

test-fuzz: fuzz-build
	fuzz/run-fuzz --seeds build/fuzz 10

bench: deps-bench
	cmake -S . -B build/bench $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DKELDOR_BUILD_TESTS=OFF -DKELDOR_BUILD_BENCH=ON
	cmake --build build/bench -j $(JOBS)
	bench/run-bench build/bench

# PNG files of the windows under build/screenshots/, rendered without a display.
screenshots: deps-screenshots
	cmake -S . -B build/release $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DKELDOR_BUILD_TESTS=OFF
	cmake --build build/release -j $(JOBS) --target keldor_screenshots
	QT_QPA_PLATFORM=offscreen build/release/ui/qt/keldor_screenshots build/screenshots

# PNG files of the Win32 windows under build/screenshots-windows/, drawn by
# Wine on an Xvfb display of their own, with the Japanese fonts mapped.
# The tool is built with the Windows tests, in their build folder.
windows-screenshots: deps-windows-screenshots
	cmake -S . -B build/windows-test $(CMAKE_GEN) $(WINDOWS_TOOLCHAIN) -DCMAKE_BUILD_TYPE=Release \
	    -DWARNINGS_AS_ERRORS=ON
	cmake --build build/windows-test -j $(JOBS) --target keldor_window_screenshots
	scripts/windows-screenshots build/windows-test/tests/ui/win32/keldor_window_screenshots.exe \
	    build/screenshots-windows

# Rebuilds the bundled sample mailbox from samples/mails/.
sample: build
	build/release/tools/make_sample_mailbox samples/mails "$(SAMPLE)"

clean:
	rm -rf build out dist
