# `make run` builds and starts the Control Center; `make test` builds and runs every test; `make install`
# installs into PREFIX; `make deb` makes the Debian package in the build folder.
BUILD ?= build
CMAKE_FLAGS ?=
PREFIX ?= /usr/local
ARGS ?=

.PHONY: deps configure build run test install deb clean

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) > /dev/null

build: configure
	@cmake --build $(BUILD)

# Only the Control Center and tessaly-reg, which registers it, are built: not the tests and benchmarks.
# Without a display one line says how to run headless, before anything is built.
HEADLESS_HINT := No display: run 'xvfb-run -a make run', or headless 'QT_QPA_PLATFORM=offscreen make run ARGS="--screenshot window.png"'
run:
	$(if $(DISPLAY)$(WAYLAND_DISPLAY)$(QT_QPA_PLATFORM),,$(error $(HEADLESS_HINT)))
	@$(MAKE) --no-print-directory configure
	@cmake --build $(BUILD) --target tessaly-control-center tessaly-reg
	@scripts/run-control-center.sh $(BUILD) $(ARGS)

test: build
	@cd $(BUILD) && ctest --output-on-failure -j2 --timeout 300

install: configure
	@cmake --build $(BUILD) --target installables
	@DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix $(PREFIX) --strip

deb: configure
	@cmake --build $(BUILD) --target installables
	@cd $(BUILD) && cpack -G DEB

clean:
	rm -rf $(BUILD)
