# `make run` builds and starts the Control Center; `make test` builds and runs every test.
BUILD ?= build
CMAKE_FLAGS ?=

.PHONY: deps configure build run test clean

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) > /dev/null

build: configure
	@cmake --build $(BUILD)

run: build
	@scripts/run-control-center.sh $(BUILD)

test: build
	@cd $(BUILD) && ctest --output-on-failure -j2 --timeout 300

clean:
	rm -rf $(BUILD)
