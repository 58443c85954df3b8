# Two commands for a fresh Debian 12 machine: `make run` and `make test`.
PRESET ?= dev
BUILD  := build/$(PRESET)
PORT   ?= 8080

.PHONY: all deps configure build run test asan bench install clean

all: build

deps:
	@scripts/install-deps.sh

$(BUILD)/build.ninja: CMakeLists.txt | deps
	cmake --preset $(PRESET)

configure: deps
	cmake --preset $(PRESET)

build: configure
	cmake --build --preset $(PRESET)

run: build
	$(BUILD)/app/tervalo serve --port $(PORT) --root examples/site/ --logs $(BUILD)/logs/

test: build
	ctest --preset $(PRESET) -j2

asan:
	$(MAKE) test PRESET=asan

bench:
	@scripts/install-bench-deps.sh
	$(MAKE) build PRESET=release
	bench/http.sh
	bench/pages.sh
	bench/script/run.sh

install: build
	cmake --install $(BUILD)

clean:
	rm -rf build
