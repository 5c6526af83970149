# Entry points: `make run`, `make test`, `make bench`, `make package`. Each installs the Debian
# packages it needs when they are missing, then configures and builds into build/ (or
# build-bench/).

BUILD_PKGS := cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools qt6-svg-dev qt6-httpserver-dev qt6-websockets-dev libgl-dev libqt6sql6-sqlite
TEST_PKGS  := googletest libgtest-dev libgmock-dev fonts-dejavu-core xvfb xauth dbus-daemon dbus-bin \
              prometheus python3-prometheus-client \
              qt6-wayland weston sway grim desktop-file-utils appstream \
              at-spi2-core python3-pyatspi
RUN_PKGS   := fonts-noto-cjk fonts-thai-tlwg fonts-dejavu-core qt6-gtk-platformtheme qt6-wayland
# Qt Charts' CMake package looks up Qt OpenGL, whose development files come apart.
BENCH_PKGS := libbenchmark-dev qt6-charts-dev libqt6opengl6-dev
# CPack's DEB generator (dpkg-shlibdeps, file) and the package's linters.
PACKAGE_PKGS := dpkg-dev file lintian appstream desktop-file-utils
FUZZ_PKGS  := clang libclang-rt-dev llvm
SOAK_PKGS  := python3

FUZZ_SECONDS ?= 60
SOAK_SECONDS ?= 600

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)
JOBS ?= $(shell nproc)

# Installs whatever of the given packages dpkg does not report as installed.
define ensure_pkgs
	@missing=""; for p in $(1); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  $(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get update -qq && \
	  $(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $$missing; \
	fi
endef

.PHONY: all run screenshots test test-asan test-tsan bench fuzz package package-check deps-build deps-test deps-run deps-bench deps-fuzz deps-soak deps-package soak soak-sanitizers build clean

all: build

deps-build:
	$(call ensure_pkgs,$(BUILD_PKGS))
deps-test: deps-build
	$(call ensure_pkgs,$(TEST_PKGS))
deps-run: deps-build
	$(call ensure_pkgs,$(RUN_PKGS))
deps-bench: deps-build
	$(call ensure_pkgs,$(BENCH_PKGS))
deps-fuzz: deps-build
	$(call ensure_pkgs,$(FUZZ_PKGS))
deps-soak: deps-test
	$(call ensure_pkgs,$(SOAK_PKGS))
deps-package: deps-build
	$(call ensure_pkgs,$(PACKAGE_PKGS))

build: deps-test
	cmake --preset default >/dev/null
	cmake --build --preset default -j $(JOBS)

run: deps-run build
	./build/velmora

# The popover and the status images, drawn from made-up snapshots, as PNG files.
screenshots: deps-run build
	QT_QPA_PLATFORM=offscreen QT_SCALE_FACTOR=2 ./build/velmora-screenshots build/screenshots

test: build
	ctest --preset default

test-asan: deps-test
	cmake --preset asan >/dev/null
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan

test-tsan: deps-test
	cmake --preset tsan >/dev/null
	cmake --build --preset tsan -j $(JOBS)
	ctest --preset tsan

# The Debian package, build/velmora_<version>_<arch>.deb, from the default build.
package: deps-package build
	rm -f build/velmora_*.deb
	cd build && cpack -G DEB

# Lints, installs, runs, purges the package on this machine (tests/packaging/package_check.sh).
package-check: package deps-run
	$(SUDO) bash tests/packaging/package_check.sh build/velmora_*.deb build/tests/velmora_login_probe

bench: deps-bench
	cmake --preset bench >/dev/null
	cmake --build --preset bench -j $(JOBS)
	@for b in build-bench/bench/*_bench; do echo "== $$b"; $$b || exit 1; done
	@echo "== bench/idle_app.sh"; bash bench/idle_app.sh build-bench/velmora

# Every parser's fuzz target, built with clang and run for FUZZ_SECONDS each.
fuzz: deps-fuzz
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz -j $(JOBS)
	FUZZ_SECONDS=$(FUZZ_SECONDS) bash fuzz/run.sh build-fuzz

# The headless mode under process churn (bench/churn_soak.py): SOAK_SECONDS of the default
# build; two minutes each of its AddressSanitizer and ThreadSanitizer builds.
soak: deps-soak build
	python3 bench/churn_soak.py build/velmora --seconds $(SOAK_SECONDS)

soak-sanitizers: deps-soak
	cmake --preset asan >/dev/null
	cmake --build --preset asan --target velmora -j $(JOBS)
	cmake --preset tsan -B build-tsan-app -DVELMORA_BUILD_APP=ON -DVELMORA_BUILD_TESTS=OFF >/dev/null
	cmake --build build-tsan-app --target velmora -j $(JOBS)
	python3 bench/churn_soak.py build-asan/velmora --sanitizer --seconds 120
	python3 bench/churn_soak.py build-tsan-app/velmora --sanitizer --seconds 120

clean:
	rm -rf build build-asan build-tsan build-tsan-app build-bench build-fuzz
