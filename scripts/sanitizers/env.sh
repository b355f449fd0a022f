# Sanitizer options of the test command's sanitizer stages (sourced by
# scripts/test.sh; source it to run a sanitizer build's tests by hand).
# Every report fails: ASan and UBSan halt at the first, LeakSanitizer and
# TSan end the process with a failure status.
sanitizers_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# exitcode=86: a report never passes for the status 1 that tests expect of a
# refused input.
# intercept_tls_get_addr=0: LeakSanitizer's tracer otherwise crashes on a bad
# thread-local range when a test is started by its absolute path.
export ASAN_OPTIONS="exitcode=86:detect_leaks=1:intercept_tls_get_addr=0:strict_string_checks=1:check_initialization_order=1"
# print_suppressions=0: tests that compare stderr see nothing of suppressed leaks.
export LSAN_OPTIONS="suppressions=$sanitizers_dir/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="exitcode=86:halt_on_error=1:print_stacktrace=1"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$sanitizers_dir/tsan.supp:print_suppressions=0"
# Modules stay loaded (see tests/support/keep_modules.c) in the ASan build's runs.
keep_modules="$sanitizers_dir/../../build-fuzz/tests/libvesper_keep_modules.so"
if [ -e "$keep_modules" ]; then
  export LD_PRELOAD="$(cd "$(dirname "$keep_modules")" && pwd)/$(basename "$keep_modules")${LD_PRELOAD:+:$LD_PRELOAD}"
fi
