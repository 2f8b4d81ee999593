# Kessvenn: the two commands a station needs, and a few for developers.
BUILD ?= build
JOBS ?= $(shell nproc)
# The fuzz targets are built with clang in a tree of their own.
FUZZ_BUILD ?= $(BUILD)-fuzz
FUZZ_SECONDS ?= 600

.PHONY: all deps build test package demo bench fuzz clean

all: build

deps:
	@sh scripts/install-deps.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	sh scripts/fuzz.sh $(FUZZ_BUILD) 25

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
	rm -rf $(BUILD) $(FUZZ_BUILD)
