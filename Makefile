# Two commands: `make run` builds and starts the application, `make test`
# builds and runs the whole suite. Both install what is missing first.
BUILD ?= build
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: setup configure build run test bench clean

setup:
	@./scripts/setup

configure: setup
	@cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD)

run: build
	@$(BUILD)/src/velmora-notes

test: build
	@cd $(BUILD) && ctest -j2 --output-on-failure

bench: build
	@cmake --build $(BUILD) --target benchmarks

clean:
	@rm -rf $(BUILD)
