# Zymra: `make run` starts the program, `make test` runs every test.
# Both install any missing Debian packages first (as root, or through sudo).

BUILD      ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS       ?= $(shell nproc)
PACKAGES   := cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev \
              qt6-base-dev qt6-svg-dev libgl-dev libcli11-dev libsimpleini-dev libicu-dev libnlopt-cxx-dev \
              zlib1g-dev xvfb xauth fonts-dejavu-core \
              poppler-utils xdotool
# The Python module and its tests.
PACKAGES   += pybind11-dev python3-dev python3-numpy python3-pytest

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

# Without a display the window would open where nobody sees it: the default fed batch is
# simulated on the command line instead, its OD and growth-rate charts written as PNG files.
run: build
	@if [ ! -x $(BUILD)/app/zymra ]; then \
	  $(BUILD)/app/zymra-cli simulate; \
	elif [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	  $(BUILD)/app/zymra; \
	else \
	  echo "No display (DISPLAY and WAYLAND_DISPLAY are not set): simulating the default fed batch with zymra-cli instead."; \
	  $(BUILD)/app/zymra-cli simulate --chart 0:$(BUILD)/default-fed-batch-od.png \
	    --chart 1:$(BUILD)/default-fed-batch-growth-rate.png && \
	  echo "Charts written: $(BUILD)/default-fed-batch-od.png $(BUILD)/default-fed-batch-growth-rate.png"; \
	fi

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

bench: build
	@for b in $(BUILD)/bench/bench_*; do [ -x "$$b" ] && "$$b"; done

clean:
	rm -rf $(BUILD)
