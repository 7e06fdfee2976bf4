# Warnings and platform flags shared by every target of the project.
add_compile_options(-Wall -Wextra -Wpedantic -Wshadow -Wno-missing-field-initializers)

if(WIN32)
    # Windows XP-era API names stay out; Unicode/ANSI choice is explicit at each call.
    add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
    # One self-contained exe: no libstdc++, libgcc or winpthread DLLs beside it.
    add_link_options(-static -static-libgcc -static-libstdc++)
    # DEP and ASLR (binutils 2.40 sets both by default and then keeps .reloc; stated so a change of default
    # cannot drop them). A 32-bit exe is large-address-aware: 4 GiB of address space on 64-bit Windows
    # instead of 2; a 64-bit one takes high-entropy ASLR.
    add_link_options(-Wl,--nxcompat -Wl,--dynamicbase)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        add_link_options(-Wl,--large-address-aware)
    else()
        add_link_options(-Wl,--high-entropy-va)
    endif()
endif()

if(KYR_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()

if(KYR_FUZZ)
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()
