// Sanitizer settings built into every sanitized program, so that any run is as strict as the tests
// (the variables still override them). A report exits with 86, a status no outcome of the game uses.

extern "C" {

// Allegro's SIGSEGV handler would swallow reports; the slow unwinder lets a leak's stack reach the
// library function that the suppressions name.
const char* __asan_default_options() {
    return "halt_on_error=1:detect_leaks=1:allow_user_segv_handler=0:fast_unwind_on_malloc=0:exitcode=86";
}

// Only leaks inside the library are suppressed.
const char* __lsan_default_options() { return "suppressions=\"" VORN_LSAN_SUPPRESSIONS "\":exitcode=86"; }

// Every kind of undefined behaviour is fatal and shows where it happened.
const char* __ubsan_default_options() { return "halt_on_error=1:print_stacktrace=1:exitcode=86"; }

}
