# Zymra: `make run` starts the program, `make test` runs every test.
# Both install any missing Debian packages first (as root, or through sudo).

BUILD      ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS       ?= $(shell nproc)
PACKAGES   := cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev \
              qt6-base-dev qt6-svg-dev libgl-dev libcli11-dev libsimpleini-dev libicu-dev libnlopt-cxx-dev \
              zlib1g-dev xvfb xauth fonts-dejavu-core \
              poppler-utils xdotool

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all deps configure build run test bench clean

all: build

deps:
	@missing=""; for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  $(SUDO) apt-get update && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y --no-install-recommends $$missing; \
	fi

configure: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@if [ -x $(BUILD)/app/zymra ]; then \
	  if [ -z "$$DISPLAY$$WAYLAND_DISPLAY" ]; then xvfb-run -a $(BUILD)/app/zymra; else $(BUILD)/app/zymra; fi; \
	else \
	  $(BUILD)/app/zymra-cli simulate; \
	fi

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

bench: build
	@for b in $(BUILD)/bench/bench_*; do [ -x "$$b" ] && "$$b"; done

clean:
	rm -rf $(BUILD)
