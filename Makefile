# Kessvenn: the two commands a station needs, and a few for developers.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: all deps build test demo bench fuzz clean

all: build

deps:
	@sh scripts/install-deps.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

demo: build
	sh scripts/demo.sh $(BUILD)

bench: build
	sh scripts/bench.sh $(BUILD)

clean:
	rm -rf $(BUILD)
