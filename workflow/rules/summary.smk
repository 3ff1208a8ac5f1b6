# The three counts, the Error: lines and the time of every run, as TSV and Markdown.

rule summary:
    input:
        expand(f"{RESULTS}/{{network}}/{{setting}}/run.json", network=NETWORKS, setting=SETTINGS),
    output:
        tsv=f"{RESULTS}/summary.tsv",
        md=f"{RESULTS}/summary.md",
    threads: 1
    resources:
        mem_mb=500,
        runtime=10,
    shell:
        "{PYTHON:q} {SCRIPTS:q}/summary.py --tsv {output.tsv:q} --md {output.md:q} {input:q}"
