// The hooks of -finstrument-functions for the library entry built with it. They overwrite the
// argument registers, as any called function may: an entry that lets the hook run before it
// reads its arguments then passes garbage on.
extern "C" {

__attribute__((no_instrument_function)) void __cyg_profile_func_enter(void*, void*) {
#if defined(__x86_64__)
    asm volatile("mov $-1, %%rdi\n\tmov $-1, %%rsi\n\tmov $-1, %%rdx\n\t"
                 "mov $-1, %%rcx\n\tmov $-1, %%r8\n\tmov $-1, %%r9"
                 :
                 :
                 : "rdi", "rsi", "rdx", "rcx", "r8", "r9");
#endif
}

__attribute__((no_instrument_function)) void __cyg_profile_func_exit(void*, void*) {}

}  // extern "C"
