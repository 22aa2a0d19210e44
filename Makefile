# The README's commands: each installs what its purpose needs (scripts/install-deps, with
# apt-get, as root or through sudo), then runs the matching CMake workflow. Those who manage
# their own dependencies run the workflows directly (cmake --workflow --preset run, and so on).
DEPS := scripts/install-deps
PREFIX ?= /usr/local

.PHONY: help run test python mpi fuzz tsan arm64 bench install deb

help: ## list the targets
	@grep -E '^[a-z]+:.*## ' $(MAKEFILE_LIST) | sed -E 's/^([a-z]+):.*## /  make \1\t/' | expand -t 16

run: ## build (optimised) and run the simulator on examples/param.dat
	$(DEPS) build
	cmake --workflow --preset run

test: ## build with sanitizers and pass every test, then the Python module's
	$(DEPS) build test plot python
	cmake --workflow --preset test
	cmake --workflow --preset python

# A sanitized module cannot load in a plain interpreter: the module and its tests have a preset of
# their own, and make test runs it after the sanitized one.
python: ## build the Python module rs_sim, pass its tests and install it for this user
	$(DEPS) build python
	cmake --workflow --preset python
	site=$$(/usr/bin/python3 -m site --user-site) && mkdir -p "$$site" && \
	  cp build/python/python/rs_sim.*.so python/rs_sim.pyi "$$site/" && echo "installed rs_sim in $$site"

mpi: ## build rs-sim-mpi (OpenMPI) and pass its tests
	$(DEPS) build test mpi
	cmake --workflow --preset mpi

fuzz: ## run each libFuzzer target for 30 seconds (clang)
	$(DEPS) build fuzz
	cmake --workflow --preset fuzz

tsan: ## run the engines' thread tests under ThreadSanitizer (clang)
	$(DEPS) build test tsan
	cmake --workflow --preset tsan

arm64: ## cross-build for 64-bit ARM and pass its tests under qemu-aarch64
	$(DEPS) build test arm64
	cmake --workflow --preset arm64

bench: ## build and run the benchmarks
	$(DEPS) build test bench
	cmake --preset release
	cmake --build --preset release
	build/release/bench/rs-bench

install: ## install rs-sim, its man page and the C++ library into PREFIX (default /usr/local)
	$(DEPS) build test bench man
	cmake --preset release
	cmake --build --preset release
	cmake --install build/release --prefix $(PREFIX)

deb: ## build the Debian package build/release/rs-sim_*.deb
	$(DEPS) build test bench man deb
	cmake --preset release
	cmake --build --preset release
	cd build/release && cpack -G DEB
