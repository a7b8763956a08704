# Front door of the build. Every target installs the system packages first when they are missing.
# Besides run and test: test-asan (address + undefined-behaviour sanitizers, build-asan/) and
# test-tsan (thread sanitizer, build-tsan/), each in its own build folder.
JOBS ?= 2
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo
TEST_ENV = QT_QPA_PLATFORM=offscreen

.PHONY: deps build run test build-asan test-asan build-tsan test-tsan clean

deps:
	@./scripts/install-deps.sh

build: deps
	cmake -S . -B build $(CMAKE_FLAGS)
	cmake --build build -j$(JOBS)

run: build
	./build/kelvane

test: build
	cd build && $(TEST_ENV) ctest --output-on-failure -j$(JOBS)

build-asan: deps
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DKELVANE_SANITIZE=address,undefined
	cmake --build build-asan -j$(JOBS)

test-asan: build-asan
	cd build-asan && $(TEST_ENV) \
	  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure -j$(JOBS)

build-tsan: deps
	cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DKELVANE_SANITIZE=thread
	cmake --build build-tsan -j$(JOBS)

test-tsan: build-tsan
	cd build-tsan && $(TEST_ENV) \
	  TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
	  ctest --output-on-failure -j$(JOBS)

clean:
	rm -rf build build-asan build-tsan
