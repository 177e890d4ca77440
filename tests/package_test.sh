#!/bin/sh
# The Debian package as a user gets it: built by CPack, unpacked into a
# temporary root, its decode_stream decodes the bundled example into the
# lines the built one prints (three messages, all received); lintian finds
# no error in it.
# usage: tests/package_test.sh BUILD_DIR
build=$(cd "$1" && pwd)
for tool in cpack dpkg-deb dpkg-shlibdeps lintian; do
	command -v $tool > /dev/null || { echo "$tool is missing"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
cpack --config "$build/CPackConfig.cmake" -B "$work/out" > cpack.log 2>&1 || { cat cpack.log; exit 1; }
deb=$(ls out/ofdm-burst_*_*.deb) || exit 1
dpkg-deb --info "$deb" | grep -q "Depends:.*libsndfile1.*" || { echo "no dependency on libsndfile1"; exit 1; }
dpkg -x "$deb" root || exit 1
example=root/usr/share/doc/ofdm-burst/examples/bursts_48000_4.s16
root/usr/bin/decode_stream 48000 4 < "$example" > packaged || exit 1
"$build/decode_stream" 48000 4 < "$example" > built || exit 1
diff built packaged || exit 1
[ "$(grep -c 'EVENT:MESSAGE|FLIPS:[0-9]' packaged)" = 3 ] || { cat packaged; exit 1; }
lintian --fail-on error "$deb"
