# Two commands: `make run` builds and starts the application, `make test`
# builds and runs the whole suite. Both install what is missing first.
BUILD ?= build
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: setup configure build run server test bench package fuzz clean

setup:
	@./scripts/setup

configure: setup
	@cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD)

run: build
	@$(BUILD)/src/velmora-notes

# The local sync, account and release server the application talks to by default.
SERVER_DATA ?= $(if $(XDG_DATA_HOME),$(XDG_DATA_HOME),$(HOME)/.local/share)/velmora-server

server: configure
	@cmake --build $(BUILD) --target velmora-server
	@$(BUILD)/server/velmora-server --data "$(SERVER_DATA)"

# The benchmarks are built too so that they never fall behind the code they measure.
test: build
	@cmake --build $(BUILD) --target benchmarks
	@cd $(BUILD) && ctest -j2 --output-on-failure

# Both .deb files, from a build of their own as Debian builds packages
# (packaging/build-debs). Then the folder is built afresh: the packages must
# come out byte for byte the same (with CCACHE_DISABLE=1 the compiler's output
# is compared too). Needs no network once the fonts were fetched.
PACKAGE_BUILD ?= build-package
package: setup
	@packaging/build-debs $(PACKAGE_BUILD)
	@rm -rf $(PACKAGE_BUILD)-first && mkdir $(PACKAGE_BUILD)-first && cp $(PACKAGE_BUILD)/*.deb $(PACKAGE_BUILD)-first/
	@rm -rf $(PACKAGE_BUILD) && packaging/build-debs $(PACKAGE_BUILD)
	@tests/packaging/check-reproducible.sh $(PACKAGE_BUILD)-first $(PACKAGE_BUILD)
	@ls $(PACKAGE_BUILD)/*.deb

bench: build
	@cmake --build $(BUILD) --target benchmarks

# Every parser under libFuzzer with sanitizers, from a clang build of its own;
# FUZZ_SECONDS per target, FUZZ_TARGETS to pick some (names without fuzz_).
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
fuzz: setup
	@CC=clang-14 CXX=clang++-14 cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DVELMORA_FUZZ=ON >/dev/null
	@cmake --build $(FUZZ_BUILD) --target fuzz_targets
	@FUZZ_SECONDS=$(FUZZ_SECONDS) ./scripts/fuzz $(FUZZ_BUILD) $(FUZZ_TARGETS)

clean:
	@rm -rf $(BUILD)
