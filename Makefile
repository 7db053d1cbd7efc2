# Thin wrapper over the CMake presets, so that the README can give two one-line commands.
#   make run    build the release binary and convert a shipped example in scratch/
#   make test   build the developer build and run every test through CTest
#   make sanitize   the whole test suite again under address and undefined-behaviour sanitizers
#   make portable   the whole test suite with the portable kernels only
#   make fuzz   each fuzz target for FUZZ_SECONDS seconds
#   make bench  throughput and memory on generated data
#   make deb    the Debian package: binary, man page, README, examples, copyright, changelog
#   make aarch64   the 64-bit ARM build, its tests under qemu-aarch64, the examples against this build
#   make windows   haplovex.exe, its tests under wine, the examples against this build
.PHONY: run test sanitize portable fuzz bench deb release debug check-tools check-gtest clean aarch64 windows

EXAMPLE_DIR ?= examples/geese
SCRATCH := scratch

check-tools:
	@missing=""; \
	command -v g++ >/dev/null 2>&1 || missing="$$missing g++"; \
	command -v cmake >/dev/null 2>&1 || missing="$$missing cmake"; \
	command -v ninja >/dev/null 2>&1 || missing="$$missing ninja-build"; \
	[ -e /usr/include/boost/math/distributions/chi_squared.hpp ] || missing="$$missing libboost-dev"; \
	if [ -n "$$missing" ]; then \
	  echo "Missing tools. Install them with: sudo apt-get install$$missing"; exit 1; fi

check-gtest:
	@if [ ! -e /usr/include/gtest/gtest.h ] && [ ! -e /usr/local/include/gtest/gtest.h ]; then \
	  echo "GoogleTest is missing. Install it with: sudo apt-get install libgtest-dev"; exit 1; fi

release: check-tools
	@cmake --preset release -DHAPLOVEX_TESTS=OFF >/dev/null
	@cmake --build --preset release --target haplovex haplovex_gen

debug: check-tools check-gtest
	@cmake --preset debug >/dev/null
	@cmake --build --preset debug

run: release
	@rm -rf $(SCRATCH) && mkdir -p $(SCRATCH)
	@find $(EXAMPLE_DIR) -maxdepth 1 -type f -exec cp {} $(SCRATCH)/ \;
	@cd $(SCRATCH) && ../build/release/haplovex < answers.txt
	@echo
	@echo "Output written to $(CURDIR)/$(SCRATCH)/HAPLOVEX.OUT"
	@echo "Summary written to $(CURDIR)/$(SCRATCH)/HAPLOVEX.SUM"

# Tests run on every core; those that measure the machine are marked to run alone.
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

test: debug
	@ctest --preset debug -j $(JOBS)

sanitize: check-tools check-gtest
	@cmake --preset sanitize >/dev/null
	@cmake --build --preset sanitize
	@ctest --preset sanitize -j $(JOBS)

portable: check-tools check-gtest
	@cmake --preset portable >/dev/null
	@cmake --build --preset portable
	@ctest --preset portable -j $(JOBS)

# Each fuzz target for FUZZ_SECONDS (clang-14 and libclang-rt-14-dev needed).
FUZZ_SECONDS ?= 60
fuzz:
	@command -v clang++-14 >/dev/null 2>&1 || { echo "Install clang-14 and libclang-rt-14-dev"; exit 1; }
	@./fuzz/run.sh $(FUZZ_SECONDS)

# Throughput and memory of the converters on generated data (see bench/run).
bench: release
	@./bench/run

# The Debian package build/release/haplovex_<version>_<arch>.deb, made by
# packaging/build-deb.sh from the release build's install (dpkg-dev needed).
deb: release
	@command -v dpkg-shlibdeps >/dev/null 2>&1 || { echo "Install dpkg-dev"; exit 1; }
	@./packaging/build-deb.sh build/release

# Cross builds (see .ci/platform): each ends with one line, "<preset>: N passed, N failed".
aarch64: release
	@command -v aarch64-linux-gnu-g++ >/dev/null 2>&1 && command -v qemu-aarch64 >/dev/null 2>&1 || \
	  { echo "Install g++-aarch64-linux-gnu and qemu-user"; exit 1; }
	@./.ci/platform aarch64

windows: release
	@command -v x86_64-w64-mingw32-g++-posix >/dev/null 2>&1 && command -v wine >/dev/null 2>&1 || \
	  { echo "Install g++-mingw-w64-x86-64-posix, wine and wine64"; exit 1; }
	@./.ci/platform windows

clean:
	rm -rf build $(SCRATCH)
