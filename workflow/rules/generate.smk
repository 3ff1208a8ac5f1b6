# Networks the config asks to generate (generated_networks): tools/synth_network.py writes the
# network with its known truth (true, false and missing interactions) beside it.

rule generate_network:
    output:
        network=f"{RESULTS}/generated/{{network}}/network.tsv",
        truth=multiext(f"{RESULTS}/generated/{{network}}/", "true.tsv", "false.tsv", "missing.tsv"),
    params:
        arguments=lambda wildcards: " ".join(
            f"--{key.replace('_', '-')} {shlex.quote(str(value))}"
            for key, value in GENERATED[wildcards.network].items()),
        out_dir=lambda wildcards, output: os.path.dirname(output.network),
        generator=os.path.join(REPOSITORY, "tools", "synth_network.py"),
    threads: 1
    resources:
        mem_mb=1000,
        runtime=10,
    shell:
        "{PYTHON:q} {params.generator:q} {params.arguments} --out-dir {params.out_dir:q}"
