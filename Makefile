# Every entry point installs what is missing first, so each works on a fresh machine.
.PHONY: deps build test test-large demo bench fuzz soak mutants power-cut

deps:
	@scripts/setup-deps.sh

build: deps
	@scripts/build.sh

test: deps
	@scripts/run-tests.sh

test-large: deps
	@scripts/test-large.sh

demo: deps
	@scripts/demo.sh

bench: deps
	@scripts/bench.sh

fuzz: deps
	@scripts/fuzz.sh

soak: deps
	@scripts/soak.sh

mutants: deps
	@scripts/mutants.py

# Exit code 77: skipped, where no FUSE file system can be mounted (the script says why).
power-cut: deps
	@scripts/power-cut-test.sh || [ $$? -eq 77 ]
