#!/bin/sh
# Builds the caller the way an integrator would, against the shipped header and
# one shipped import library, without any C runtime.
#
#   link_caller.sh TOOLCHAIN ARCH DIST OUT CALLER_C CLANG LLD_LINK LLVM_NM MINGW_GCC
#
# TOOLCHAIN  msvc: clang for the MSVC ABI and lld-link against RKM51DLL.lib
#                  (/safeseh on x86, as Visual Studio's x86 projects link);
#            mingw: the mingw-w64 gcc against libRKM51DLL.dll.a.
# ARCH       win32 or win64.
# DIST       dist/<arch>: RKM51DLL.h and the import libraries.
# OUT        folder that receives caller.exe (emptied first).
# The object's references are checked first: on x86 the caller refers to the
# decorated stdcall names (__imp__CLogin@4 ...), which the import library must
# resolve.
set -eu
toolchain=$1 arch=$2 dist=$3 out=$4 source=$5 clang=$6 lld_link=$7 llvm_nm=$8 mingw_gcc=$9

fail() {
    echo "FAILED: $*"
    exit 1
}
run() {
    echo "+ $*"
    "$@"
}

for tool in "$clang" "$lld_link" "$llvm_nm" "$mingw_gcc"; do
    case $tool in
        *NOTFOUND*|"") fail "a tool was not found at configure time (scripts/deps.sh installs clang-16, lld-16, llvm-16 and mingw-w64)" ;;
    esac
done
[ -f "$dist/RKM51DLL.h" ] || fail "$dist/RKM51DLL.h is missing: build it with \`cmake --preset $arch && cmake --build --preset $arch\`"

case $arch in
    win32) target=i686 machine=x86 entry=_kv_caller_entry@4 ;;
    win64) target=x86_64 machine=x64 entry=kv_caller_entry ;;
    *) fail "unknown architecture $arch" ;;
esac
rm -rf "$out"
mkdir -p "$out"
object=$out/caller.obj
cflags="-O2 -ffreestanding -fno-stack-protector -Wall -Wextra -Werror -I $dist"

case $toolchain in
    msvc)
        library=$dist/RKM51DLL.lib
        run "$clang" --target=$target-pc-windows-msvc $cflags -c "$source" -o "$object"
        ;;
    mingw)
        library=$dist/libRKM51DLL.dll.a
        run "$mingw_gcc" $cflags -c "$source" -o "$object"
        ;;
    *) fail "unknown toolchain $toolchain" ;;
esac
[ -f "$library" ] || fail "$library is missing: build it with \`cmake --preset $arch && cmake --build --preset $arch\`"

# The references the import library has to resolve.
expected=
for f in CConnectDV@0 CDisconnectDV@0 CGetID@4 CGetTime@4 CIntoUDiskMode@0 CLogin@4 CSetID@4 \
         CSetPassword@4 CSetTime@4; do
    if [ "$arch" = win32 ]; then
        expected="$expected __imp__$f"
    else
        expected="$expected __imp_${f%@*}"
    fi
done
undefined=$("$llvm_nm" -u "$object" | awk '{ print $NF }' | sort | tr '\n' ' ')
want=$(printf '%s\n' $expected | sort | tr '\n' ' ')
[ "$undefined" = "$want" ] || fail "the caller refers to [$undefined], expected [$want]"

case $toolchain in
    msvc)
        safeseh=
        [ "$arch" = win32 ] && safeseh=/safeseh
        run "$lld_link" /nologo /nodefaultlib /entry:kv_caller_entry /subsystem:console /machine:$machine \
            $safeseh /out:"$out/caller.exe" "$object" "$library" ||
            fail "lld-link did not link the caller against $library"
        ;;
    mingw)
        run "$mingw_gcc" -nostdlib -o "$out/caller.exe" "$object" -Wl,-e,$entry "$library" ||
            fail "mingw gcc did not link the caller against $library"
        ;;
esac
echo "linked $out/caller.exe"
