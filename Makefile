# Top-level entry points: `make run`, `make test` and `make demo` install what is missing, configure, build
# and go; `make screenshots` writes pictures of the demo to $(SCREENSHOTS_DIR); `make package` builds the
# Debian package into $(BUILD_DIR).
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
SCREENSHOTS_DIR ?= $(BUILD_DIR)/screenshots

.PHONY: all deps configure build run demo screenshots test package format clean

all: build

deps:
	@scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	$(BUILD_DIR)/bin/tallyglass

demo: build
	$(BUILD_DIR)/bin/tallyglass-demo

screenshots: build
	BUILD_DIR=$(BUILD_DIR) scripts/screenshots $(SCREENSHOTS_DIR)

test: build
	@cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

package: build
	@cd $(BUILD_DIR) && cpack -G DEB

format: configure
	@cmake --build $(BUILD_DIR) --target format

clean:
	rm -rf $(BUILD_DIR)
