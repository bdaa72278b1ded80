#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan + UBSan, in build-fuzz) and runs every one of
# them for SECONDS (default 5) from a seed corpus: small real files of examples/, slices of
# the demo capture and files written here, all in a work folder, so the repository is only
# read. Prints each target's executions; exits 1 when a target found a fault (its input is
# kept in the work folder, and the work folder with it).
#
# Environment:
#   VELKOR_FUZZ_WORK     work folder to use and keep (a corpus grows there from run to run);
#                        default: a temporary folder, removed after a clean run
#   VELKOR_FUZZ_RUNS     also stop a target after this many executions
#   VELKOR_FUZZ_TARGETS  names of the targets to run (default: every target built)
#   VELKOR_FUZZ_NO_BUILD set to 1 to run the targets already built
set -euo pipefail
seconds=${1:-5}
cd "$(dirname "$0")/.."
root=$PWD
build=$root/build-fuzz

if [ "${VELKOR_FUZZ_NO_BUILD:-0}" != 1 ]; then
  launcher=()
  command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVELKOR_FUZZ=ON -DVELKOR_GUI=OFF -DVELKOR_BENCH=OFF "${launcher[@]}" >/dev/null
  cmake --build "$build" -j"$(nproc)"
fi

if [ -n "${VELKOR_FUZZ_WORK:-}" ]; then
  work=$VELKOR_FUZZ_WORK
  keep=1
else
  work=$(mktemp -d "${TMPDIR:-/tmp}/velkor-fuzz-run-XXXXXX")
  keep=0
fi
mkdir -p "$work/corpus" "$work/seeds" "$work/artifacts" "$work/logs"

# ---- seeds ------------------------------------------------------------------------------

separator=$'\n#capture#\n'
demo=examples/demo.bin

# Samples FROM to TO (one byte each) of the demo capture.
slice() { head -c "$2" "$demo" | tail -c +"$(($1 + 1))"; }

# The same samples as the module's live bytes: four samples a byte, channel 2 from every
# second sample, channels 3 and 4 from every fourth.
live_slice() {
  local -a s
  read -r -a s <<<"$(slice "$1" "$2" | od -An -v -tu1 | tr -s ' \n' '  ')"
  local i b out=""
  for ((i = 0; i + 3 < ${#s[@]}; i += 4)); do
    b=$(((s[i] & 1) | (s[i] & 2) | (s[i + 1] & 1) << 2 | (s[i] & 4) << 1 | (s[i + 2] & 1) << 4 |
      (s[i + 2] & 2) << 4 | (s[i + 3] & 1) << 6 | (s[i] & 8) << 4))
    out+=$(printf '\\x%02x' "$b")
  done
  printf '%b' "$out"
}

# Windows of the demo capture (in samples) that hold whole frames of each type.
can_windows=("0 1300" "13800 14800")
manchester_windows=("2000 7700" "14500 16000")
serial_windows=("3300 7900" "115900 118900")
lin_windows=("3500 6900" "24500 27300")

# The example description, the separator and each window of the capture, one seed each.
seed_description() {  # seed folder, example file, windows...
  local dir=$1 example=$2
  shift 2
  local w
  for w in "$@"; do
    { cat "$example"; printf '%s' "$separator"; slice $w; } >"$dir/$(basename "$example")-${w// /-}"
  done
}

make_seeds() {
  local name=$1 dir=$work/seeds/$1
  rm -rf "$dir"
  mkdir -p "$dir"
  case $name in
    config)
      cp examples/demo.cfg "$dir/demo.cfg"
      printf '%s\r\n' '; odd but valid' '[port]' 'portcom = COM13' '[CHANNEL1]' 'Type=0x4' 'Caption=Door 1' \
        'Activation=-7' 'MANCHESTER_fd0=[x]a.mfd' 'MANCHESTER_fd1=[X]b' 'MANCHESTER_fd2=[X]ab' 'junk line' \
        '[CHANNEL1]' 'Type=2' '[GRAPHIC]' 'Scrolling=100ms' '[FILTER]' 'CHA1_If=2147483647' 'CHA1_Match=a=b=c' \
        '[WINDOWS]' 'MAIN_Maximized=0' 'CHANNEL3_Left=-2147483648' '[COLORS]' 'chk1=0xFFFFFFFF' '[extra]' '=v' >"$dir/odd.cfg"
      ;;
    serial_description)
      seed_description "$dir" examples/demo-serial.sfd "${serial_windows[@]}"
      printf '[PROTOCOL]\nBaudrate=115200\nDataBits=16\nLsbFirst=no\nInvertedStart=yes\nInvertedData=NO\nInterFrame=0\nAscii=YES\n%s' \
        "$separator" >"$dir/wide"
      ;;
    can_description) seed_description "$dir" examples/demo-can.cfd "${can_windows[@]}" ;;
    lin_description) seed_description "$dir" examples/demo-lin.lfd "${lin_windows[@]}" ;;
    manchester_description)
      seed_description "$dir" examples/FD_RXA.mfd "${manchester_windows[0]}"
      seed_description "$dir" examples/FD_KEY.mfd "${manchester_windows[1]}"
      ;;
    decoders)
      # First byte: the order of the types over the channels (0: the demo's) and the timing.
      { printf '\x00'; slice 0 8000; } >"$dir/demo-order"
      { printf '\x05'; slice 14000 16000; } >"$dir/other-order"
      { printf '\x18'; slice 0 4096; } >"$dir/fast-timing"
      ;;
    live)
      { printf '\x00'; live_slice 0 8192; } >"$dir/demo-order"
      { printf '\x31'; live_slice 14000 16000; } >"$dir/cut"
      ;;
    remote)
      # The block as a client leaves it: the state byte, the command and its zero.
      local command n=0
      for command in 'Ask' 'Com>3' 'Com>13' 'LoadConfiguration>/no/such.cfg' 'Run' 'Stop' 'Show' 'Hide' 'Close' 'What'; do
        { printf '\x01%s\x00' "$command"; head -c 64 /dev/zero; } >"$dir/command-$n"
        n=$((n + 1))
      done
      printf '\x00OK\x00' >"$dir/idle"
      ;;
    rtf)
      head -c 6000 docs/manual.rtf >"$dir/manual-start"
      printf '%s' '{\rtf1\ansi{\fonttbl{\f0\fmodern Courier;}}{\colortbl ;\red255\green0\blue0;}' \
        '{\cf1\b \'"'"'a7Title\par}\u8364?\u-10?\tab x\line y{\*\unknown z}\'"'"'e9\'"'"'zz}' >"$dir/small.rtf"
      ;;
    dbc)
      cp tests/data/databases/comma_body.dbc "$dir/comma_body.dbc"
      printf '%s\n' 'VERSION ""' 'NS_ :' '	CM_' '	VAL_' 'BU_: A B' 'BO_ 2566844673 Ext: 8 A' \
        ' SG_ Mode M : 0|4@1+ (1,0) [0|15] "" B' ' SG_ Temp m1 : 15|12@0- (0.1,-40) [-40|200] "degC" B,A' \
        ' SG_ Gain m2 : 32|32@1- (1,0) [0|0] "" B' 'CM_ SG_ 2566844673 Temp "spans' 'lines";' \
        'VAL_ 2566844673 Mode 1 "Temperature" 2 "Gain, float" ;' 'SIG_VALTYPE_ 2566844673 Gain : 1;' >"$dir/small.dbc"
      ;;
    ldf)
      cp tests/data/databases/lin22.ldf "$dir/lin22.ldf"
      printf '%s\n' 'LIN_description_file;' 'LIN_protocol_version = "1.3";' 'Signals { A: 4, 0, M; B: 24, {1, 2, 3}, S; }' \
        'Frames { F: 0x21, M { A, 0; B, 8; } }' 'Diagnostic_frames { MasterReq: 0x3c { A, 0; } }' \
        'Signal_encoding_types { E { logical_value, 0, "Off"; physical_value, 1, 14, 0.25, -1, "V"; } }' \
        'Signal_representation { E: A; }' >"$dir/small.ldf"
      ;;
    capture_sigrok)
      printf '[device 1]\ncapturefile=logic-1\ntotal probes=3\nsamplerate=4 MHz\nprobe1=A\nprobe3=C\nunitsize=1\n%s' \
        "$separator" >"$dir/fast"
      slice 0 3000 >>"$dir/fast"
      printf '[device 1]\ncapturefile=logic-1\ntotal probes=12\nsamplerate=416.667 kHz\nunitsize=2\n%s' \
        "$separator" >"$dir/wide"
      slice 14000 17000 >>"$dir/wide"
      ;;
    capture_vcd)
      printf '%s\n' '$timescale 10 ns $end' '$scope module m $end' '$var wire 1 ! a $end' '$var reg 4 "# bus [3:0] $end' \
        '$var wire 1 ! alias $end' '$upscope $end' '$enddefinitions $end' '#0 $dumpvars 1! bx1z0 "# $end' \
        '#240 0!' '#480 b1 "#' '#500 1!' '#1200 r1.5 "#' '#1440' >"$dir/small.vcd"
      ;;
    capture_csv)
      printf '; Samplerate: 1 MHz\nA,B,C\n1,0,1\n0,0,1\nx,1,z\n' >"$dir/rate.csv"
      printf 'Time [s],SDA,SCL\r\n-1e-6,1,1\r\n0.0000024,0,1\r\n0.00001,0,0\r\n' >"$dir/times.csv"
      ;;
    lines)
      cp examples/demo.expected "$dir/demo-lines"
      printf '%b' '0,0,New Value=1,\n3,123456789012345,\xa3Error frame,$T=54,A=B=C,\n9,,,\n,\n\xa3\n' >"$dir/odd"
      ;;
  esac
}

# Words a mutation can insert whole, so a target need not find them byte by byte.
write_dictionary() {
  local name=$1 out=$work/seeds/$1.dict
  local words=()
  case $name in
    config)
      words=('[PORT]' 'PortCom=' 'COM12' '[CHANNEL2]' 'Type=' 'Caption=' 'Activation=' 'LOGICAL_Generation='
        'MANCHESTER_fd15=' '[X]' '[ ]' 'CAN_File=' 'SERIAL_File=' 'LIN_File=' '[GRAPHIC]' 'Scrolling=' '10ms'
        '[HEXA]' 'Clear=' 'AutoScroll=' '[FILTER]' 'CHA4_If=' 'CHA2_Field=' 'CHA3_Equal=' 'CHA1_ContentA='
        'CHA1_ContentB=' 'CHA1_Match=' '[WINDOWS]' 'MAIN_Left=' 'MAIN_Maximized=' 'HEXA_Visible=' 'CHANNEL0_Top='
        'GRAPHIC_Width=' 'FILTER_Height=' '[COLORS]' 'chk1=' 'but4=' '0x' '-2147483648' '4294967295')
      ;;
    serial_description)
      words=('[PROTOCOL]' 'Baudrate=' 'DataBits=' 'LsbFirst=' 'InvertedStart=' 'InvertedData=' 'InterFrame='
        'Ascii=' 'YES' 'NO' '#capture#')
      ;;
    can_description) words=('[BAUDRATE]' 'Value=' '[ID]' '7FF=' '#capture#') ;;
    lin_description)
      words=('[BAUDRATE]' 'Value=' '[INVERT]' '[PROTOCOL]' 'InterFrame=' 'ChecksumIncludeID=' 'YES' 'NO' '[ID]'
        '#capture#')
      ;;
    manchester_description)
      words=('[BAUDRATE]' 'Value=' '[INVERT]' '[TIMEOUT]' '[PREAMBLE]' 'Content=' '[FIELDS]' 'YES' 'NO' 'M0S0'
        '#capture#')
      ;;
    dbc)
      words=('BO_ ' 'SG_ ' ' M ' ' m1 ' '@0+' '@1-' 'VAL_ ' 'SIG_VALTYPE_ ' 'CM_ ' 'NS_ :' '2147483648' '"' '|' '(' ')'
        '[' ']' ': ')
      ;;
    ldf)
      words=('LIN_protocol_version' 'Signals' 'Diagnostic_signals' 'Frames' 'Diagnostic_frames' 'Event_triggered_frames'
        'Signal_encoding_types' 'Signal_representation' 'logical_value' 'physical_value' '0x3c' '{' '}' '/*' '//')
      ;;
    capture_sigrok) words=('[device 1]' 'capturefile=' 'logic-1' 'total probes=' 'samplerate=' 'probe1=' 'unitsize='
      'kHz' 'MHz' '#capture#') ;;
    capture_vcd) words=('$timescale' '$var' 'wire' '$end' '$scope' '$upscope' '$enddefinitions' '$dumpvars'
      '$comment' '#' 'b' 'ns' 'us' '[7:0]') ;;
    capture_csv) words=('; Samplerate:' 'Time [s]' 'kHz' 'e-6' '0.0000024') ;;
    lines) words=('New Value=' 'DataFrame=' 'ID=' 'FD=' '$' '..,') ;;
    remote) words=('Ask' 'Com>' 'LoadConfiguration>' 'Run' 'Stop' 'Show' 'Hide' 'Close') ;;
    rtf)
      words=('{\rtf1' '\ansi' '\par' '\line' '\tab' '\b' '\b0' '\i' '\ul' '\fs24' '\cf1' '{\colortbl ;'
        '\red255' '\green0' '\blue0' '{\fonttbl' '\fmodern' '\f1' '\u8364?' '\uc2' "\'a7" '{\*' '\bin4 '
        '\pard' '\plain')
      ;;
  esac
  : >"$out"
  local w
  for w in "${words[@]}"; do
    w=${w//\\/\\\\}
    printf '"%s"\n' "${w//\"/\\\"}" >>"$out"
  done
}

# The longest input of each target: a short decode for the description and capture targets.
max_len() {
  case $1 in
    config | lines | remote) echo 4096 ;;
    *) echo 8192 ;;
  esac
}

# ---- runs -------------------------------------------------------------------------------

targets=()
if [ -n "${VELKOR_FUZZ_TARGETS:-}" ]; then
  read -r -a targets <<<"$VELKOR_FUZZ_TARGETS"
else
  for bin in "$build"/fuzz/fuzz_*; do
    [ -x "$bin" ] && targets+=("$(basename "$bin" | sed 's/^fuzz_//')")
  done
fi
[ ${#targets[@]} -gt 0 ] || { echo "fuzz.sh: no fuzz target built in $build/fuzz" >&2; exit 2; }

failed=()
printf '%-24s %12s %10s %8s  %s\n' target executions per-second corpus result
for name in "${targets[@]}"; do
  make_seeds "$name"
  write_dictionary "$name"
  mkdir -p "$work/corpus/$name"
  options=(-max_total_time="$seconds" -max_len="$(max_len "$name")" -timeout=25 -print_final_stats=1
    -artifact_prefix="$work/artifacts/$name-")
  [ -s "$work/seeds/$name.dict" ] && options+=(-dict="$work/seeds/$name.dict")
  [ -n "${VELKOR_FUZZ_RUNS:-}" ] && options+=(-runs="$VELKOR_FUZZ_RUNS")
  log=$work/logs/$name.log
  status=0
  (cd "$work" && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    "$build/fuzz/fuzz_$name" "${options[@]}" "$work/corpus/$name" "$work/seeds/$name") >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  corpus=$(find "$work/corpus/$name" -type f | wc -l)
  result=ok
  if [ "$status" -ne 0 ]; then
    result="FAULT (see $log)"
    failed+=("$name")
  fi
  printf '%-24s %12s %10s %8s  %s\n' "$name" "${runs:--}" "${rate:--}" "$corpus" "$result"
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz.sh: faults in ${failed[*]}; inputs and logs kept in $work" >&2
  tail -n 40 "$work/logs/${failed[0]}.log" >&2
  exit 1
fi
[ "$keep" = 1 ] || rm -rf "$work"
