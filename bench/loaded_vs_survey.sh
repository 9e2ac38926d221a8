#!/usr/bin/env bash
# The loaded latency's delay-0 bandwidth of each traffic kind (one loader
# beside the chaser) against the survey's one-thread memory figure of the
# same kernel: the median of that kernel's rates over the survey's memory
# lengths. The two run alternately, A B A B, ROUNDS times (default 3), and
# the ratios are printed per round and as medians. Also printed: each round's
# latency at delay 0 against the idle latency of the same curve.
# usage: [ROUNDS=N] bench/loaded_vs_survey.sh path/to/lorvanta-sweep [extra options for both]
set -euo pipefail
tool=$1; shift
rounds=${ROUNDS:-3}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
for round in $(seq "$rounds"); do
  "$tool" --loaded-latency --traffic read,write,copy --delays 0 --threads 2 --json "$@" >"$dir/loaded-$round.json"
  size=$(python3 -c "import json, sys; print(json.load(open(sys.argv[1]))['buffers']['bytes_each'])" "$dir/loaded-$round.json")
  isas=$(python3 -c "
import json, re, sys
words = {'Mmx': 'mmx', 'Sse': 'sse', 'Sse2': 'sse2', 'Avx': 'avx', 'Avx2': 'avx2', 'Avx512': 'avx512'}
kernels = [k for c in json.load(open(sys.argv[1]))['curves'] for k in c['kernels'].split() if k[0].isalpha()]
print(','.join(sorted({words[re.match(r'(Read|Write|Copy)([A-Z][a-z]*[0-9]*)', k).group(2)] for k in kernels})))" "$dir/loaded-$round.json")
  "$tool" --survey --threads 1 --repeats 3 --isa "${isas%%,*}" --max-size "$size" --json "$@" >"$dir/survey-$round.json"
done
python3 - "$dir" "$rounds" <<'PY'
import json, statistics, sys
folder, rounds = sys.argv[1], int(sys.argv[2])
ratios, loadings = {}, {}
print('%5s %-6s %-28s %12s %12s %7s %10s %10s' % ('round', 'kind', 'kernel', 'loaded GB/s', 'survey GB/s', 'ratio',
                                                  'idle ns', 'delay-0 ns'))
for r in range(1, rounds + 1):
    loaded = json.load(open('%s/loaded-%d.json' % (folder, r)))
    survey = json.load(open('%s/survey-%d.json' % (folder, r)))
    run = survey['runs'][0]
    lengths = run['curves']['lengths_bytes']
    memory = [l for l in run['levels'] if l['name'] == 'memory'][0]
    above = memory['window_bytes']['above']
    for curve in loaded['curves']:
        kernel = curve['kernels']
        rates = run['curves']['kernels'][kernel]['bytes_per_second']
        figure = statistics.median(rate for length, rate in zip(lengths, rates) if length > above)
        point = curve['points'][0]
        ratio = point['bytes_per_second'] / figure
        ratios.setdefault(curve['traffic'], []).append(ratio)
        loadings.setdefault(curve['traffic'], []).append(point['latency_ns'] / curve['idle_latency_ns'])
        print('%5d %-6s %-28s %12.2f %12.2f %7.3f %10.1f %10.1f' % (r, curve['traffic'], kernel, point['gb_per_second'],
              figure / 1e9, ratio, curve['idle_latency_ns'], point['latency_ns']))
for kind in ratios:
    print('%s: median loaded / survey %.3f; median delay-0 latency / idle %.2f' % (kind, statistics.median(ratios[kind]),
                                                                                    statistics.median(loadings[kind])))
PY
