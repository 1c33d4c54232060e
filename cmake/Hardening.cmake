# The hardening Debian's own packages get (dpkg-buildflags): fortified libc calls where the code is
# optimised, and full RELRO. The sanitizers bring checks of their own and are left without it.
if(TALLYGLASS_HARDENING AND NOT (TALLYGLASS_ASAN OR TALLYGLASS_TSAN OR TALLYGLASS_FUZZ))
    add_compile_options($<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE> $<$<NOT:$<CONFIG:Debug>>:-D_FORTIFY_SOURCE=2>)
    add_link_options(LINKER:-z,relro LINKER:-z,now)
endif()
