# One ppi-refine run; its files appear in the run's directory only when the run is over.

rule refine:
    input:
        network=lambda wildcards: NETWORKS[wildcards.network],
        ppi_refine=os.path.join(BUILD, "ppi-refine"),
        vornel=os.path.join(BUILD, "vornel"),
    output:
        refined=f"{RESULTS}/{{network}}/{{setting}}/refined.tsv",
        console=f"{RESULTS}/{{network}}/{{setting}}/console.txt",
        record=f"{RESULTS}/{{network}}/{{setting}}/run.json",
    params:
        setting=lambda wildcards: json.dumps(SETTINGS[wildcards.setting], sort_keys=True),
        keep_errors="" if config.get("fail_on_error", True) else "--keep-errors",
        out_dir=lambda wildcards, output: os.path.dirname(output.record),
    threads: int(config.get("threads", 2))
    resources:
        mem_mb=int(config.get("mem_mb", 4000)),
        runtime=int(config.get("runtime_min", 60)),
    shell:
        "{PYTHON:q} {SCRIPTS:q}/refine_job.py --program {input.ppi_refine:q}"
        " --network {input.network:q} --setting {params.setting:q} --out-dir {params.out_dir:q}"
        " --name {wildcards.network}/{wildcards.setting} {params.keep_errors}"
