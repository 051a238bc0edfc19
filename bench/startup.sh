#!/usr/bin/env bash
# Sourced by bench/run.sh (bench/run.sh startup, or this file run as a script, runs it alone).
# startup_targets: the build targets the section runs.
startup_targets=(quarlex)

# Start-up: from just before the program is started to the launcher's first paint (logged with
# QUARLEX_TIMING), under Xvfb with openbox, best of 10; and which of the document readers'
# libraries are mapped by then (none: they come with the first document).
startup_section() {
    local best="" libs="" t mapped
    if ! { have Xvfb && have openbox && have xdotool; }; then
        echo "Start-up: Xvfb, openbox or xdotool is not installed: no figure"
        return
    fi
    for _ in $(seq 10); do
        read -r t mapped <<< "$("$root/bench/bench_program.sh" --first-paint "$build/quarlex" \
                                2>/dev/null)" || continue
        [ -n "$t" ] || continue
        libs=$mapped
        if [ -z "$best" ] || [ "$(echo "$t < $best" | bc -l)" = 1 ]; then best=$t; fi
    done
    echo
    echo "Start-up to the launcher's first paint, under Xvfb (load $(cut -d' ' -f1-3 /proc/loadavg))"
    if [ -z "$best" ]; then
        echo "  no run completed"
        return
    fi
    echo "  best of 10 $(printf '%.3f' "$best")s; document readers' libraries mapped at first" \
         "paint: ${libs} (target: none: $(verdict "$([ "$libs" = none ] && echo 1 || echo 0)"))"
}

# Run as a script: the same as bench/run.sh startup.
if [ "${BASH_SOURCE[0]}" = "$0" ]; then exec "$(dirname "$0")/run.sh" startup "$@"; fi
