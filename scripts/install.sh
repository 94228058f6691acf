#!/usr/bin/env bash
# Sets up the machine, builds the plug-in in Release and installs
# Corvantide.vst3 into the user's VST3 folder (~/.vst3).
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

step "Installing build dependencies"
bash "$ROOT/scripts/setup.sh" || fail "dependency setup"

BUILD="$ROOT/build/release"
configure_and_build "$BUILD" Release -DCORVANTIDE_TESTS=OFF -DCORVANTIDE_BENCH=OFF

BUNDLE="$BUILD/Corvantide_artefacts/Release/VST3/Corvantide.vst3"
[ -d "$BUNDLE" ] || fail "the build produced no bundle at $BUNDLE"

DEST="${VST3_DIR:-$HOME/.vst3}"
step "Installing Corvantide.vst3 into $DEST"
mkdir -p "$DEST" || fail "cannot create $DEST"
rm -rf "$DEST/Corvantide.vst3"
cp -R "$BUNDLE" "$DEST/" || fail "copying the bundle into $DEST"
echo "Installed $DEST/Corvantide.vst3"
