# Set-up, build, run and test on Debian/Ubuntu: every target installs what is missing first.
# One source tree gives two programs: build/x64 (64-bit Windows) and build/x86 (32-bit).
BUILD ?= build
BUILD_TYPE ?= Release
ARCHS := x64 x86
TOOLCHAIN_x64 := cmake/mingw-x86_64.cmake
TOOLCHAIN_x86 := cmake/mingw-i686.cmake

# Debian packages the two cross builds (with zlib for the image library's PNG writer), the
# release packages (and YAML for the test that reads their manifests), the static analysis, the
# programs under Wine (the 64-bit loader everywhere, the 32-bit one where the host runs 32-bit
# code) and the headless test desktops need.
PACKAGES := cmake make g++-mingw-w64-i686 g++-mingw-w64-x86-64 libz-mingw-w64-dev \
            wine wine64 wine32:i386 googletest python3 python3-yaml nsis osslsigncode openssl clang-tidy cppcheck \
            xvfb xdotool xclip imagemagick x11-utils x11-xserver-utils libjpeg-turbo-progs \
            openbox trayer pulseaudio pulseaudio-utils

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all deps build dist run test bench clean

all: build

deps:
	@missing=$$(for p in $(PACKAGES); do \
	    dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'ok installed' || echo $$p; \
	  done); \
	if [ -n "$$missing" ]; then \
	  echo "Installing:" $$missing; \
	  $(SUDO) dpkg --add-architecture i386 && \
	  $(SUDO) apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq $$missing; \
	fi

# The benchmarks measure the x64 program only.
$(BUILD)/%/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD)/$* -DCMAKE_TOOLCHAIN_FILE=$(TOOLCHAIN_$*) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) \
	  -DGRABOTINE_BENCH=$(if $(filter x64,$*),ON,OFF)

# One after the other, each on every core.
build: deps $(foreach a,$(ARCHS),$(BUILD)/$(a)/CMakeCache.txt)
	for a in $(ARCHS); do cmake --build $(BUILD)/$$a -j$$(nproc) || exit 1; done

# A password on make's command line is visible to every user of the machine for the whole run.
ifeq ($(origin SIGN_PASS),command line)
  $(error SIGN_PASS on the command line can be read by every user of this machine: export it in the environment instead, or name a file holding it with SIGN_PASS_FILE)
endif
# Signing the release is the maintainer's: SIGN_CERT and SIGN_KEY (PEM files), SIGN_PASS (from
# the environment only) or SIGN_PASS_FILE, and SIGN_TIMESTAMP reach packaging/make_dist.py; the
# files are named from where make runs.
override SIGN_CERT := $(if $(SIGN_CERT),$(abspath $(SIGN_CERT)))
override SIGN_KEY := $(if $(SIGN_KEY),$(abspath $(SIGN_KEY)))
override SIGN_PASS_FILE := $(if $(SIGN_PASS_FILE),$(abspath $(SIGN_PASS_FILE)))
export SIGN_CERT SIGN_KEY SIGN_PASS_FILE SIGN_TIMESTAMP

# The release packages of both programs: dist/ gets the zips, the installers and SHA256SUMS; with
# RELEASE_URL (the https folder they will be published in) also the winget and Scoop manifests.
dist: build
	rm -rf dist
	python3 packaging/make_dist.py $(if $(RELEASE_URL),--release-url=$(RELEASE_URL)) dist \
	  $(foreach a,$(ARCHS),$(BUILD)/$(a))

# The 64-bit program, in your usual Wine prefix when that is a 64-bit one.
run: build
	tools/wine_run.sh x64 $(BUILD)/x64/Grabotine.exe

test: build
	tests/run_headless.sh $(BUILD)

bench: build
	bench/run_bench.sh $(BUILD)/x64

clean:
	rm -rf $(BUILD) dist
