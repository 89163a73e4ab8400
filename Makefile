# Set-up, build and test on a Debian machine.  `make run` and `make test` install
# whatever is missing first.

MAKEFLAGS += --no-print-directory

BUILD      ?= build
ASAN_BUILD ?= build-asan
BENCH_BUILD ?= build-bench
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
JOBS       ?= $(shell nproc)
CTEST_JOBS ?= $(JOBS)

PACKAGES = cmake g++ make pkg-config libboinc-app-dev googletest libgtest-dev libbenchmark-dev boinc-client \
  libsqlite3-dev sqlite3 pocl-opencl-icd ocl-icd-opencl-dev opencl-c-headers
# The catalogue's exports and their test: Graphviz, gnuplot, and a headless browser
# that opens the HTML report (make test, not make run).
CATALOGUE_PACKAGES = graphviz gnuplot-nox chromium fonts-dejavu-core
# The server test (ctest -L server) builds BOINC's server from the source tarball named
# by DLSMATE_BOINC_SOURCE and runs private MariaDB and Apache instances; these are
# installed only when that tarball is there.
SERVER_PACKAGES = build-essential autoconf automake libtool m4 pkg-config libssl-dev zlib1g-dev \
  libcurl4-openssl-dev default-libmysqlclient-dev mariadb-server apache2 libapache2-mod-php \
  php-mysql php-cli php-xml php-gd python3 python3-mysqldb xz-utils curl sqlite3 boinc-client
# Only `make fuzz` needs clang and its libFuzzer runtime.
FUZZ_PACKAGES = clang libclang-rt-14-dev
# `make ports`: MinGW-w64 for the Windows ports, wine to test them, autotools for
# BOINC's configure (the static Linux port).
PORTS_BUILD ?= build-ports
PORTS_PACKAGES = g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine wine64 wine32:i386 \
  autoconf automake libtool m4 pkg-config xz-utils

.PHONY: deps build build-installed run install package test test-full test-sanitize bench fuzz ports test-ports clean

deps:
	@tools/install-packages.sh $(PACKAGES)
	@tools/install-packages.sh --no-install-recommends $(CATALOGUE_PACKAGES)
	@if [ -n "$$DLSMATE_BOINC_SOURCE" ] && [ -f "$$DLSMATE_BOINC_SOURCE" ]; then \
	  tools/install-packages.sh --no-install-recommends $(SERVER_PACKAGES); fi

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j $(JOBS)

# Builds only the worker and the tools that explain its result, quietly: the
# output of apt and of the build goes to $(BUILD)/make-run.log, shown on failure.
RUN_TARGETS = dlsmate dlsmate-mates dlsmate-check
RUN_LOG = $(BUILD)/make-run.log
run:
	@mkdir -p $(BUILD) && : >$(RUN_LOG)
	@tools/install-packages.sh --log $(RUN_LOG) $(PACKAGES)
	@echo "Building $(RUN_TARGETS) in $(BUILD)/ (log: $(RUN_LOG))"
	@{ cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release && \
	   cmake --build $(BUILD) -j $(JOBS) --target $(RUN_TARGETS); } >>$(RUN_LOG) 2>&1 || \
	 { cat $(RUN_LOG); echo "make run: the build failed; its log is above and in $(RUN_LOG)" >&2; exit 1; }
	@tools/run-sample.sh $(BUILD)/dlsmate $(BUILD)/tools samples/sample.wu

# The workers, the tools, the deploy kit, the sample and the README, into PREFIX
# (bin/, share/dlsmate/, share/doc/dlsmate/); `make package` makes the .debs of
# the same files in $(BUILD)/: dlsmate, and dlsmate-opencl with the OpenCL worker.
PREFIX ?= /usr/local
INSTALL_TARGETS = dlsmate dlsmate-opencl dlsmate-split dlsmate-next dlsmate-check dlsmate-mates dlsmate-cf dlsmate-catalogue
build-installed: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j $(JOBS) --target $(INSTALL_TARGETS)
install: build-installed
	cmake --install $(BUILD) --prefix $(PREFIX)
package: build-installed
	cd $(BUILD) && cpack -G DEB

# The long suites run apart, in make test-full (CI runs both): order 7 in full
# (catalogue_full), the listing and look-ahead sweep (sweep), and the GPU
# worker's sweep on pocl's CPU device where there is no GPU (gpu-sweep).
LONG_LABELS = catalogue_full|sweep|gpu-sweep
test: build
	cd $(BUILD) && ctest -j $(CTEST_JOBS) --output-on-failure -LE '$(LONG_LABELS)'

test-full: build
	cd $(BUILD) && ctest -j $(CTEST_JOBS) --output-on-failure -L '$(LONG_LABELS)'

test-sanitize: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DDLSMATE_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ctest -j $(CTEST_JOBS) --output-on-failure -LE '$(LONG_LABELS)'

bench: deps
	cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release -DDLSMATE_BENCH=ON -DDLSMATE_TESTS=OFF
	cmake --build $(BENCH_BUILD) -j $(JOBS)
	$(BENCH_BUILD)/bench/dlsmate_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

# Runs the work-unit fuzz target for FUZZ_SECONDS from the seed corpus in fuzz/corpus,
# then the transversal-listing and mate-search target for FUZZ_SECONDS from
# fuzz/corpus-transversals, then dlsmate-check's target for FUZZ_SECONDS from
# fuzz/corpus-check; inputs they find go to $(FUZZ_BUILD)/corpus,
# $(FUZZ_BUILD)/corpus-transversals and $(FUZZ_BUILD)/corpus-check, a failing one to
# $(FUZZ_BUILD)/.
fuzz:
	@$(MAKE) deps PACKAGES="$(PACKAGES) $(FUZZ_PACKAGES)"
	cmake -S fuzz -B $(FUZZ_BUILD) -DCMAKE_CXX_COMPILER=clang++
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	mkdir -p $(FUZZ_BUILD)/corpus $(FUZZ_BUILD)/corpus-transversals $(FUZZ_BUILD)/corpus-check
	$(FUZZ_BUILD)/dlsmate_fuzz_workunit -max_total_time=$(FUZZ_SECONDS) -timeout=10 -print_final_stats=1 \
	  -dict=fuzz/workunit.dict -artifact_prefix=$(FUZZ_BUILD)/ $(FUZZ_BUILD)/corpus fuzz/corpus
	$(FUZZ_BUILD)/dlsmate_fuzz_transversals -max_total_time=$(FUZZ_SECONDS) -timeout=10 -print_final_stats=1 \
	  -artifact_prefix=$(FUZZ_BUILD)/ $(FUZZ_BUILD)/corpus-transversals fuzz/corpus-transversals
	$(FUZZ_BUILD)/dlsmate_fuzz_check -max_total_time=$(FUZZ_SECONDS) -timeout=30 -print_final_stats=1 \
	  -artifact_prefix=$(FUZZ_BUILD)/ $(FUZZ_BUILD)/corpus-check fuzz/corpus-check

# The Windows x86-64 and x86 and the static Linux x86-64 workers, with BOINC's
# libraries built from the BOINC source tarball in DLSMATE_BOINC_SOURCE, and their
# app versions (in $(PORTS_BUILD)/pack); then the same work units and module tests
# on each of them as on the native build.
ports:
	@cmake/build-ports.sh --check-source
	@$(MAKE) deps PACKAGES="$(PACKAGES) $(PORTS_PACKAGES)"
	JOBS=$(JOBS) cmake/build-ports.sh $(PORTS_BUILD)

test-ports: ports build
	tests/ports/run-tests.sh $(PORTS_BUILD) $(BUILD)
	cd $(BUILD) && DLSMATE_STATIC_WORKER=$(abspath $(PORTS_BUILD))/x86_64-linux-static/dlsmate \
	  ctest --output-on-failure -L client -R StaticLinux
	cd $(BUILD) && DLSMATE_WINDOWS_WORKER=$(abspath $(PORTS_BUILD))/x86_64-w64-mingw32/dlsmate.exe \
	  DLSMATE_WINDOWS_GPU_WORKER=$(abspath $(PORTS_BUILD))/x86_64-w64-mingw32/opencl/dlsmate-opencl.exe \
	  ctest --output-on-failure -R '^gpu_pack_windows_port$$'

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(BENCH_BUILD) $(FUZZ_BUILD) $(PORTS_BUILD)
