# The two commands a user needs: `make run` and `make test`. Both install the
# Debian packages they need first.
BUILD_DIR ?= build
FUZZ_DIR ?= build-fuzz
FUZZ_SECONDS ?= 60
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: all deps configure build run test fuzz bench package clean

all: build

deps:
	scripts/install-deps

configure: deps
	cmake -S . -B $(BUILD_DIR) -G Ninja $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD_DIR)

run: build
	cd $(BUILD_DIR) && ./kelvaro

# The fuzzer runs first (briefly) so that CTest's summary closes the output.
test: build
	@if command -v clang++ >/dev/null 2>&1; then $(MAKE) --no-print-directory fuzz FUZZ_SECONDS=20; \
	else echo "clang++ not found: fuzzing skipped"; fi
	cd $(BUILD_DIR) && ctest --output-on-failure

fuzz: deps
	CXX=clang++ cmake -S . -B $(FUZZ_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DKELVARO_FUZZ=ON -DKELVARO_TESTS=OFF
	cmake --build $(FUZZ_DIR) --target fuzz_station_list
	mkdir -p $(FUZZ_DIR)/corpus
	$(FUZZ_DIR)/tests/fuzz/fuzz_station_list -max_total_time=$(FUZZ_SECONDS) \
	    -max_len=65536 $(FUZZ_DIR)/corpus tests/fuzz/seeds

# A Debian package of the program (build/kelvaro_*.deb).
package: build
	cd $(BUILD_DIR) && cpack -G DEB

clean:
	rm -rf $(BUILD_DIR) $(FUZZ_DIR)
