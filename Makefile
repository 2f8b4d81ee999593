# Kessvenn: the two commands a station needs, and a few for developers.
BUILD ?= build
JOBS ?= $(shell nproc)
# The fuzz targets are built with clang in a tree of their own, the sanitizers' suite in another.
FUZZ_BUILD ?= $(BUILD)-fuzz
FUZZ_SECONDS ?= 600
SAN_BUILD ?= $(BUILD)-asan
TSAN_BUILD ?= $(BUILD)-tsan

.PHONY: all deps build test sanitize tsan format-check package demo bench fuzz clean

all: build

deps:
	@sh scripts/install-deps.sh

# Warnings are errors in what make builds; a build configured by hand keeps going past them.
$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESSVENN_WERROR=ON

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

# The suite, then again under AddressSanitizer and UndefinedBehaviorSanitizer, the receiver's fuzz
# target for a while, and the formatting. A build tree configured by hand gets -Werror here too.
test: deps $(BUILD)/build.ninja
	@grep -q '^KESSVENN_WERROR:BOOL=ON$$' $(BUILD)/CMakeCache.txt || cmake -S . -B $(BUILD) -DKESSVENN_WERROR=ON
	cmake --build $(BUILD) -j $(JOBS)
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	sh scripts/sanitize.sh $(SAN_BUILD) $(JOBS)
	sh scripts/fuzz.sh $(FUZZ_BUILD) 25
	sh scripts/format-check.sh

sanitize: deps
	sh scripts/sanitize.sh $(SAN_BUILD) $(JOBS)

# The tests whose work runs on threads, under ThreadSanitizer; not part of make test.
tsan: deps
	sh scripts/tsan.sh $(TSAN_BUILD) $(JOBS)

format-check: deps
	sh scripts/format-check.sh

# kessvenn_<version>_amd64.deb in the build folder.
package: build
	cd $(BUILD) && cpack -G DEB

demo: build
	sh scripts/demo.sh $(BUILD)

bench: build
	sh scripts/bench.sh $(BUILD)

fuzz: deps
	sh scripts/fuzz.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD) $(FUZZ_BUILD) $(SAN_BUILD) $(TSAN_BUILD)
