#!/usr/bin/env bash
# Writes the fuzz targets' seed corpora into tests/fuzz/seeds/<target>/ (they
# are committed; run this again when the state format or the presets change):
#   tests/fuzz/make-seeds.sh build/release/host/cli/morvane
# State and preset files come from the morvane program itself; the blob seeds
# are the byte strings inside them; the call sequences are written by hand in
# the form fuzz_component_calls.cpp reads.
set -euo pipefail
morvane="$(realpath "${1:?usage: $0 PATH/TO/morvane}")"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
seeds="$here/seeds"
rm -rf "$seeds"
mkdir -p "$seeds"/{fuzz_state_file,fuzz_state_dict,fuzz_state_blob,fuzz_param_text,fuzz_cli_parsers,fuzz_component_calls}

# Saved states: factory presets with drifting pads, recordings, the synced and
# free delay, and a user's own changes.
states=()
for n in 0 10 18 21 27 32; do
    file="$seeds/fuzz_state_file/preset-$n.aupreset"
    "$morvane" -q state save --preset "$n" "$file" >/dev/null
    states+=("$file")
done
"$morvane" -q state save --preset 14 --set "Host Sync=Off" --set "Left Delay Time=4ms" \
    --set "Regeneration=1dB" --set "Filter Type=4P BP" --set "Link Mode=Link" \
    "$seeds/fuzz_state_file/user-changes.aupreset" >/dev/null
states+=("$seeds/fuzz_state_file/user-changes.aupreset")
cp "${states[@]}" "$seeds/fuzz_state_dict/"

# The bytes under one <data> key of an XML state.
data_of() { # file key
    awk -v key="<key>$2</key>" '
        index($0, key) { found = 1; next }
        found && /<data>/ { inside = 1; next }
        inside && /<\/data>/ { exit }
        inside { gsub(/[ \t]/, ""); printf "%s", $0 }' "$1" | base64 -d
}
# A 16-bit little-endian length.
length16() {
    local n="$1"
    printf "\\x$(printf %02x $((n & 255)))\\x$(printf %02x $((n >> 8)))"
}
blob_seed() { # state file, output
    local tmp
    tmp="$(mktemp -d)"
    data_of "$1" data >"$tmp/blob"
    data_of "$1" LeftMotion >"$tmp/left"
    data_of "$1" RightMotion >"$tmp/right"
    {
        length16 "$(stat -c %s "$tmp/blob")"
        cat "$tmp/blob"
        length16 "$(stat -c %s "$tmp/left")"
        cat "$tmp/left" "$tmp/right"
    } >"$2"
    rm -rf "$tmp"
}
for file in "${states[@]}"; do
    blob_seed "$file" "$seeds/fuzz_state_blob/$(basename "$file" .aupreset).bin"
done

# What users type into value fields: numbers with and without units, note
# divisions, value names, and the odd ones.
texts=("2040" "2040 Hz" "-4.84 dB" "54.5" "250" "742.5 ms" "1/8." "1/4 T" "1/16T" "1/1" "3/2" "5/4"
       "Lock" "Link" "Free" "Digi" "BBD" "2P LP" "4P BP" "On" "Off" "- None -" "nan" "-inf" "1e39" "0x1p3")
i=0
for text in "${texts[@]}"; do
    printf '%s' "$text" >"$seeds/fuzz_param_text/text-$i.txt"
    i=$((i + 1))
done

# Automation files and --set arguments as the program's help describes them.
cat >"$seeds/fuzz_cli_parsers/automation-1.txt" <<'EOF'
# time  name  value
0     Filter Freq  500
0.5s  Left X 0.25
1.25  "Wet/Dry Mix" 100
2     L X Destination Delay Regen
2     Host Sync=Off
3     Left Delay Time 250ms
4.5   Filter Type 2P LP
EOF
cat >"$seeds/fuzz_cli_parsers/automation-2.txt" <<'EOF'
0 14 Off
0.001 Right Delay Time 3/2
1 Host Sync On
1 Left Delay Time 1/8.
1.5 Regeneration -6dB
2 Motion Rate 1/4
9.99 Kinetics Off
EOF
printf 'Filter Type=4P HP\nFilter Freq=2040Hz\nMix=#3\nLink Mode=Lock\nLeft Delay Time=1/16T\nRegeneration=0.5\n' \
    >"$seeds/fuzz_cli_parsers/set-arguments.txt"

# Call sequences (one byte picks a call, the bytes after it its arguments).
calls="$seeds/fuzz_component_calls"
render512='\x0d\x05\x02\x00\x00\x00\x00\x00\x00' # 512 frames, 2 host buffers, bus 0
# Initialise, factory preset 5, announce, render, save and restore, render,
# Filter Freq 16 Hz (below its range), announce, render, uninitialise, render,
# initialise, reset, render 0 frames.
printf "\\x00\\x06\\x1b\\x07\\x00\\x00\\x00\\x00\\x00\\x0b${render512}\\x10${render512}\\x09\\x01\\x00\\x00\\x50\\x00\\x0b${render512}\\x01${render512}\\x00\\x02\\x00\\x00\\x0d\\x00\\x02\\x00\\x00\\x00\\x00\\x00\\x00" \
    >"$calls/session.bin"
# Uninitialised: a new output sample rate (96 kHz), then initialise and render.
printf "\\x06\\x01\\x03\\x00\\x02\\x00\\x00\\x00${render512}\\x0b${render512}" >"$calls/sample-rate.bin"
# A saved state restored before and after Initialize, renders between.
for file in "$seeds/fuzz_state_file/preset-21.aupreset" "$seeds/fuzz_state_file/user-changes.aupreset"; do
    name="$(basename "$file" .aupreset)"
    {
        printf '\x0f'
        length16 "$(stat -c %s "$file")"
        cat "$file"
        printf "\\x00\\x0b${render512}\\x0f"
        length16 "$(stat -c %s "$file")"
        cat "$file"
        printf "\\x0b${render512}"
    } >"$calls/restore-$name.bin"
done
echo "seeds written to $seeds"
