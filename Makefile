# The two commands that do everything on a fresh Debian machine:
#   make run   installs missing packages, builds, runs the bundled example request
#   make test  builds and runs every test
# and: make check-asan (the suite under ASan+UBSan), make deps, make bench,
# make bench-db (the database benchmark; make bench-deps installs its peers),
# make serve (the example site behind lighttpd in the foreground), make bench-web
# (its requests per second and latency), make load (its load and termination
# runs on SQLite and PostgreSQL; not part of make test), make fuzz (every
# fuzz target FUZZ_SECONDS long, new inputs merged into fuzz/corpus) and
# make fuzz-ci (60 seconds each, nothing merged).

BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc)
# libclang-rt-dev: the fuzzing engine and the sanitizer runtimes (clang
# only recommends it). The database path: the ODBC driver manager, the
# SQLite and PostgreSQL drivers, and the PostgreSQL server the tests start
# clusters of; strace and binutils (nm) for the test that koru opens no
# socket. The web path: the server, node and the browser of the site's
# tests, a Japanese font so the page's product names show in its
# screenshots, and sqlite3 to read the site's database.
PACKAGES   := g++ clang libclang-rt-dev cmake ninja-build make libgtest-dev tzdata python3 \
              unixodbc libsqliteodbc odbc-postgresql postgresql strace binutils \
              lighttpd nodejs npm chromium fonts-vlgothic sqlite3
# Only the benchmarks run these: their peers (two interpreters, and PHP
# with its ODBC extension for the database benchmark).
BENCH_PACKAGES := duktape mujs php-cli php-odbc
# The npm packages of the browser test, pinned by tests/web/package-lock.json.
NPM_DIR    := tests/web

FUZZ_BUILD   ?= build-fuzz
FUZZ_SECONDS ?= 600
FUZZ_TARGETS := request_body config compile objload objrun regex request sql

.PHONY: all run serve load test check-asan check-builds deps bench-deps bench bench-db bench-web fuzz fuzz-ci fuzz-build clean

all: $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

$(ASAN_BUILD)/build.ninja:
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKORU_SANITIZE=ON

# Installs the packages of the list $(1) that dpkg does not report as
# installed (all of them present: nothing is run); as another user than root
# it names the missing ones and fails. A node that brings its own npm (as
# some node packages do) stands for the npm package.
define install_missing
	@missing=""; for p in $(1); do \
	  if [ $$p = npm ] && command -v npm >/dev/null; then continue; fi; \
	  dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -z "$$missing" ]; then echo "$@: all present"; \
	elif [ "$$(id -u)" = 0 ]; then \
	  echo "$@: installing$$missing"; \
	  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing >/dev/null; \
	else echo "$@: missing$$missing (run 'make $@' as root, or install them)"; exit 1; fi
endef

# The driver packages register their drivers when they are installed; the
# script registers one that is missing all the same and leaves the others.
# The npm packages are installed from the lock file whenever node_modules
# was made from another one.
deps:
	$(call install_missing,$(PACKAGES))
	@bash tools/register-odbc-drivers.sh
	@if [ ! -f $(NPM_DIR)/node_modules/.package-lock.json ] || \
	    ! cmp -s $(NPM_DIR)/package-lock.json $(NPM_DIR)/node_modules/.koru-lock; then \
	  echo "deps: npm ci in $(NPM_DIR)"; \
	  (cd $(NPM_DIR) && npm ci --no-audit --no-fund --loglevel=error) && \
	  cp $(NPM_DIR)/package-lock.json $(NPM_DIR)/node_modules/.koru-lock; \
	fi

bench-deps:
	$(call install_missing,$(BENCH_PACKAGES))

run: deps all
	@bash examples/run-example.sh $(BUILD)/koru

# The order book behind lighttpd in the foreground (PORT=8080 to choose the
# port; a free one otherwise); Ctrl-C stops it.
serve: deps all
	@bash examples/site/serve.sh $(BUILD)/koru $(PORT)

test: deps all
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

check-asan: deps $(ASAN_BUILD)/build.ninja
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

# The Release configuration with GCC and the default one with Clang, built
# but not run: warnings are errors in both.
check-builds: deps
	cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build build-release -j $(JOBS)
	CXX=clang++ cmake -S . -B build-clang -G Ninja >/dev/null
	cmake --build build-clang -j $(JOBS)

# The fuzz targets, built with clang, the fuzzing engine and both
# sanitizers in their own directory.
$(FUZZ_BUILD)/build.ninja:
	CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORU_FUZZ=ON

fuzz-build: deps $(FUZZ_BUILD)/build.ninja
	cmake --build $(FUZZ_BUILD) -j $(JOBS)

# Each target runs FUZZ_SECONDS on its corpus and dictionary, one at a time
# and in-process (the machine is shared; -jobs would fork a worker); what it
# finds goes to a scratch directory and is then merged into
# fuzz/corpus/<target> (-merge=1 keeps only inputs that add coverage).  A
# fault stops the run, its input saved as
# $(FUZZ_BUILD)/artifacts/<target>/crash-*: add it to
# fuzz/regressions/<target>/ with the mend.
# FUZZ_MERGE=0 leaves the corpus as it is (CI).
FUZZ_MERGE ?= 1
fuzz: fuzz-build
	@set -e; for t in $(FUZZ_TARGETS); do \
	  new=$(FUZZ_BUILD)/new/$$t; art=$(FUZZ_BUILD)/artifacts/$$t/; \
	  mkdir -p $$new $$art; \
	  echo "== fuzz-$$t: $(FUZZ_SECONDS) s"; \
	  ASAN_OPTIONS=detect_leaks=1 $(FUZZ_BUILD)/fuzz/fuzz-$$t -max_total_time=$(FUZZ_SECONDS) \
	    -max_len=65536 -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 \
	    -dict=fuzz/$$t.dict -artifact_prefix=$$art $$new fuzz/corpus/$$t; \
	  if [ "$(FUZZ_MERGE)" = 1 ]; then \
	    $(FUZZ_BUILD)/fuzz/fuzz-$$t -merge=1 -max_len=65536 -timeout=20 fuzz/corpus/$$t $$new; \
	  fi; \
	done
	@echo "== the client's response decoder: $(FUZZ_SECONDS) s"
	node fuzz/client.mjs $(FUZZ_SECONDS)

fuzz-ci:
	$(MAKE) fuzz FUZZ_SECONDS=60 FUZZ_MERGE=0

bench: bench-deps all
	bash bench/run

bench-db: deps bench-deps all
	bash bench/db/run

# The site's landing request behind lighttpd, with 1 and with 20 clients.
bench-web: deps all
	KORU=$(BUILD)/koru node bench/web/measure.mjs

# 50 clients placing 5,000 orders behind lighttpd, three times: SQLite,
# SQLite with a tenth ended by SIGTERM, PostgreSQL. LOAD_REQUESTS and
# LOAD_CLIENTS change the counts.
LOAD_REQUESTS ?= 5000
LOAD_CLIENTS  ?= 50
load: deps all
	LOAD_REQUESTS=$(LOAD_REQUESTS) LOAD_CLIENTS=$(LOAD_CLIENTS) bash tests/load/run.sh $(BUILD)/koru

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) build-release build-clang
