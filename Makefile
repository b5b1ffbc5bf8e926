# Set-up, build, run and test on Debian/Ubuntu: every target installs what is missing first.
BUILD ?= build
BUILD_TYPE ?= Release
TOOLCHAIN := cmake/mingw-i686.cmake

# Debian packages the build, the release packages, the static analysis, the program under Wine
# and the headless test desktops need.
PACKAGES := cmake make g++-mingw-w64-i686 wine wine32:i386 googletest python3 nsis osslsigncode \
            openssl clang-tidy cppcheck \
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

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_TOOLCHAIN_FILE=$(TOOLCHAIN) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j$$(nproc)

# Signing the release is the maintainer's: SIGN_CERT and SIGN_KEY (PEM files), SIGN_PASS and
# SIGN_TIMESTAMP, on the command line or from the environment, reach packaging/make_dist.py;
# the files are named from where make runs.
override SIGN_CERT := $(if $(SIGN_CERT),$(abspath $(SIGN_CERT)))
override SIGN_KEY := $(if $(SIGN_KEY),$(abspath $(SIGN_KEY)))
export SIGN_CERT SIGN_KEY SIGN_PASS SIGN_TIMESTAMP

# The release packages: dist/ gets the zip, the installer and SHA256SUMS.
dist: build
	cmake --build $(BUILD) --target dist
	rm -rf dist && cp -r $(BUILD)/dist dist

run: build
	WINEDEBUG=-all wine $(BUILD)/Grabotine.exe

test: build
	tests/run_headless.sh $(BUILD)

bench: build
	bench/run_bench.sh $(BUILD)

clean:
	rm -rf $(BUILD) dist
