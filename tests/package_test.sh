#!/bin/sh
# The Debian packages as a user gets them: built by CPack, unpacked together
# into a temporary root. The packaged decode_stream decodes the bundled
# example into the lines the built one prints; the C consumer, built against
# the packaged development files, and the packaged Python module print them
# too; lintian finds no error and no warning other than those README lists.
# usage: tests/package_test.sh BUILD_DIR SOURCE_DIR
build=$(cd "$1" && pwd) source=$(cd "$2" && pwd)
for tool in cpack dpkg-deb dpkg-shlibdeps dpkg-architecture lintian pkg-config cc; do
	command -v $tool > /dev/null || { echo "$tool is missing"; exit 77; }
done
# A umask that lets the group write, common for users with a group of their
# own, must not reach the packages' files and control files.
umask 002
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
cpack --config "$build/CPackConfig.cmake" -B "$work/out" > cpack.log 2>&1 || { cat cpack.log; exit 1; }
fail() { echo "$*"; exit 1; }

debs=
arch=$(dpkg --print-architecture)
triplet=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
libdir=root/usr/lib/$triplet
for package in ofdm-burst libofdm-burst1 libofdm-burst-dev python3-ofdm-burst; do
	deb=$(ls out/${package}_*_"$arch".deb) || exit 1
	debs="$debs $deb"
	dpkg-deb --field "$deb" Depends > "$package.depends"
	dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | sed "s|^\./||; s|^|$package |" >> contents
	dpkg -x "$deb" root || exit 1
done
version=$(dpkg-deb --field out/libofdm-burst1_*.deb Version)

# Each file belongs to one package; the shared library sits in the
# architecture's folder, the development files and the module beside it.
duplicates=$(awk '{print $2}' contents | sort | uniq -d)
[ -z "$duplicates" ] || fail "in more than one package: $duplicates"
owner() { awk -v f="$1" '$2 == f {print $1}' contents; }
for pair in "libofdm-burst1 usr/lib/$triplet/libofdm_burst.so.1" \
	"libofdm-burst-dev usr/lib/$triplet/libofdm_burst.so" "libofdm-burst-dev usr/lib/$triplet/libofdm_burst.a" \
	"libofdm-burst-dev usr/include/ofdm_burst.h" "libofdm-burst-dev usr/lib/$triplet/pkgconfig/ofdm_burst.pc" \
	"libofdm-burst-dev usr/lib/$triplet/cmake/ofdm_burst/ofdm_burstConfig.cmake" \
	"libofdm-burst-dev usr/share/man/man3/ofdm_burst.3.gz" \
	"python3-ofdm-burst usr/lib/python3/dist-packages/ofdm_burst.py" \
	"ofdm-burst usr/bin/decode_stream" "ofdm-burst usr/bin/burst_channel" "ofdm-burst usr/share/man/man1/decode_stream.1.gz"; do
	set -- $pair
	[ "$(owner "$2")" = "$1" ] || fail "$2 is not in $1 but in '$(owner "$2")'"
done
grep -q "libofdm-burst1 (= $version)" libofdm-burst-dev.depends || fail "dev: $(cat libofdm-burst-dev.depends)"
grep -q "libofdm-burst1 (= $version)" python3-ofdm-burst.depends || fail "python: $(cat python3-ofdm-burst.depends)"
grep -q "python3-numpy" python3-ofdm-burst.depends || fail "python: $(cat python3-ofdm-burst.depends)"
grep -q "libsndfile1" ofdm-burst.depends || fail "programs: $(cat ofdm-burst.depends)"
dpkg-deb --ctrl-tarfile out/libofdm-burst1_*.deb | tar -xO ./triggers | grep -qx 'activate-noawait ldconfig' ||
	fail "libofdm-burst1 activates no ldconfig trigger"

example=root/usr/share/doc/ofdm-burst/examples/bursts_48000_4.s16
"$build/decode_stream" 48000 4 < "$example" > built || exit 1
[ "$(grep -c 'EVENT:MESSAGE|FLIPS:[0-9]' built)" = 3 ] || { cat built; exit 1; }
root/usr/bin/decode_stream 48000 4 < "$example" > packaged || exit 1
diff built packaged || fail "the packaged decode_stream prints other lines"

# pkg-config reads the packaged file, with paths under the temporary root.
flags=$(PKG_CONFIG_SYSROOT_DIR=$work/root PKG_CONFIG_LIBDIR=$work/$libdir/pkgconfig \
	pkg-config --cflags --libs ofdm_burst) || exit 1
${CC:-cc} -o c_consumer "$source/examples/c_consumer/decode.c" $flags || exit 1
LD_LIBRARY_PATH=$work/$libdir ./c_consumer 48000 4 < "$example" > consumer || exit 1
diff built consumer || fail "the C consumer prints other lines"

if python3 -c 'import numpy' 2> /dev/null; then
	PYTHONPATH=root/usr/lib/python3/dist-packages OFDM_BURST_LIBRARY=$work/$libdir/libofdm_burst.so.1 \
		python3 "$source/examples/python_consumer/decode.py" 48000 4 < "$example" > python || exit 1
	diff built python || fail "the packaged Python module prints other lines"
fi

# The warnings README explains.
accepted=maintscript-calls-ldconfig
lintian --fail-on error,warning --suppress-tags "$accepted" $debs
