# The two commands of the README: `make run` and `make test`.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: all deps build run test test-asan test-asan-core check-format clean

all: build

deps:
	@scripts/install-deps.sh

$(BUILD)/build.ninja:
	cmake --preset default

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@scripts/run-demo.sh $(BUILD)

# Every C++ file as .clang-format lays it out; fails naming the files that are not.
check-format: deps
	@scripts/check-format.sh

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# The whole suite built with AddressSanitizer and UndefinedBehaviorSanitizer (the asan preset);
# any report, leaks included, fails the test that made it. The build itself runs the guide's
# screenshot and PDF tools, which are not under test: leak checks are off while it runs.
ASAN_BUILD ?= build-asan
SANITIZER_ENV = ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:halt_on_error=1 \
	UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0

test-asan:
	@scripts/install-deps.sh --asan
	test -f $(ASAN_BUILD)/build.ninja || cmake --preset asan
	ASAN_OPTIONS=detect_leaks=0 cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && QT_QPA_PLATFORM=offscreen $(SANITIZER_ENV) ctest --output-on-failure -j $(JOBS)

# The same for the tests that need no widgets (data access, calculation, workbooks, command-line
# tool, faults): a fraction of the build, for CI.
test-asan-core:
	@scripts/install-deps.sh --asan
	test -f $(ASAN_BUILD)/build.ninja || cmake --preset asan
	cmake --build $(ASAN_BUILD) -j $(JOBS) --target core-tests
	cd $(ASAN_BUILD) && QT_QPA_PLATFORM=offscreen $(SANITIZER_ENV) ctest --output-on-failure -j $(JOBS) -L core

clean:
	rm -rf $(BUILD)
