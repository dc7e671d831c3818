// The compiler checks printf-style functions against the printf the
// programs call: the C99 one everywhere (on Windows MinGW's own, which
// __USE_MINGW_ANSI_STDIO selects, not the one of the Microsoft runtime).
#pragma once

#if defined(__MINGW32__)
#define VT_PRINTF_FORMAT(fmt, first) __attribute__((format(gnu_printf, fmt, first)))
#elif defined(__GNUC__)
#define VT_PRINTF_FORMAT(fmt, first) __attribute__((format(printf, fmt, first)))
#else
#define VT_PRINTF_FORMAT(fmt, first)
#endif
