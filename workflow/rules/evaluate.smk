# Optional (`evaluate: true`): vornel evaluate on each network, with `evaluate_options` (a
# list of its options). The report appears only when the evaluation is over (written to a
# temporary file of its own first, so two workflows sharing a results folder do not write
# into one file); its progress and any error line are in evaluation.log beside it.

rule evaluate:
    input:
        network=lambda wildcards: NETWORKS[wildcards.network],
        vornel=os.path.join(BUILD, "vornel"),
    output:
        f"{RESULTS}/{{network}}/evaluation.md",
    log:
        f"{RESULTS}/{{network}}/evaluation.log",
    threads: int(config.get("threads", 2))
    resources:
        mem_mb=int(config.get("mem_mb", 4000)),
        runtime=int(config.get("runtime_min", 60)),
    shell:
        "partial={output:q}.partial.$(hostname).$$ &&"
        " {{ {input.vornel:q} evaluate --threads {threads} {EVALUATE_OPTIONS} {input.network:q}"
        " > \"$partial\" 2> {log:q} || {{ rm -f \"$partial\"; exit 1; }}; }} &&"
        " mv \"$partial\" {output:q}"
