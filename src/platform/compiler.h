// Compiler-specific spellings, so that the sources also build with a compiler that does
// not know GCC's attributes (MSVC).
#ifndef C6X_VELM_PLATFORM_COMPILER_H
#define C6X_VELM_PLATFORM_COMPILER_H

#if defined(__GNUC__)
// Keeps a slow path out of line, so that its caller's common case stays a short leaf.
#define VELM_NOINLINE [[gnu::noinline]]
// Lets the compiler check the arguments of a printf-style function against its format.
#define VELM_PRINTF_LIKE(format_index, first_arg) \
    __attribute__((format(printf, format_index, first_arg)))
#elif defined(_MSC_VER)
#define VELM_NOINLINE __declspec(noinline)
#define VELM_PRINTF_LIKE(format_index, first_arg)
#else
#define VELM_NOINLINE
#define VELM_PRINTF_LIKE(format_index, first_arg)
#endif

#endif
