# Front door of the build for those who have make; the scripts under scripts/ do the work and need only
# bash. Every target installs the system packages first when they are missing.
# Besides run and test: test-asan (address + undefined-behaviour sanitizers, build-asan/) and
# test-tsan (thread sanitizer, build-tsan/), each in its own build folder.
JOBS ?= 2
export JOBS

.PHONY: deps build run test test-asan test-tsan clean

deps:
	@bash scripts/install-deps.sh

build:
	@bash scripts/build.sh

run:
	@bash scripts/run.sh

test:
	@bash scripts/test.sh

test-asan:
	@BUILD_DIR=build-asan BUILD_TYPE=Debug CMAKE_FLAGS=-DKELVANE_SANITIZE=address,undefined \
	  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  bash scripts/test.sh

test-tsan:
	@BUILD_DIR=build-tsan BUILD_TYPE=Debug CMAKE_FLAGS=-DKELVANE_SANITIZE=thread \
	  TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$(CURDIR)/tests/tsan.supp \
	  bash scripts/test.sh

clean:
	rm -rf build build-asan build-tsan
