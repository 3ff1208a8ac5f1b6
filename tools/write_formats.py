#!/usr/bin/env python3
"""Writes one interaction network in every table format vornel reads, with the quirks of the
files people download: headers, both orientations, repeated evidence rows, genetic rows, other
species, '|'-joined identifiers, missing final newlines.

    write_formats.py OUTDIR [--proteins N] [--interactions M] [--seed S]

Besides the tables, OUTDIR/expected.json lists for every file the vornel options to read it
with and the proteins and interactions vornel must find. Standard library only."""

import argparse
import json
import os
import random


def make_network(proteins, interactions, rng):
    """Distinct unordered pairs of distinct proteins 0..proteins-1."""
    edges = set()
    while len(edges) < interactions:
        a, b = rng.sample(range(proteins), 2)
        edges.add((min(a, b), max(a, b)))
    return sorted(edges)


def entrez(i):
    return str(1000 + i)


def symbol(i):
    return "GENE%d" % i


def uniprot(i):
    return "P%05d" % i


def ensg(i):
    return "ENSG%011d" % i


def ensp(i, taxon="9606"):
    return "%s.ENSP%011d" % (taxon, i)


def oriented(edges, rng):
    """Each pair in a random orientation."""
    return [(a, b) if rng.random() < 0.5 else (b, a) for a, b in edges]


def write(path, lines, final_newline=True):
    with open(path, "w", encoding="ascii", newline="") as out:
        out.write("\n".join(lines) + ("\n" if final_newline else ""))


STRING_FULL = ("protein1 protein2 neighborhood neighborhood_transferred fusion cooccurence homology "
               "coexpression coexpression_transferred experiments experiments_transferred database "
               "database_transferred textmining textmining_transferred combined_score")


def string_files(out, edges, rng, expect):
    links = ["protein1 protein2 combined_score"]
    full = [STRING_FULL]
    for a, b in edges:
        score = rng.randint(150, 999)
        for x, y in ((a, b), (b, a)):  # STRING lists every link both ways
            links.append("%s %s %d" % (ensp(x), ensp(y), score))
            full.append(" ".join([ensp(x), ensp(y)] + [str(rng.randint(0, 999)) for _ in range(13)] + [str(score)]))
    write(os.path.join(out, "string_links.txt"), links)
    write(os.path.join(out, "string_full.txt"), full)
    export = ["\t".join(["#node1", "node2", "node1_string_internal_id", "node2_string_internal_id",
                         "node1_external_id", "node2_external_id", "neighborhood_on_chromosome", "gene_fusion",
                         "phylogenetic_cooccurrence", "homology", "coexpression",
                         "experimentally_determined_interaction", "database_annotated", "automated_textmining",
                         "combined_score"])]
    for a, b in oriented(edges, rng):
        scores = ["%.3f" % rng.random() for _ in range(9)]
        export.append("\t".join([symbol(a), symbol(b), str(100 + a), str(100 + b), ensp(a), ensp(b)] + scores))
    write(os.path.join(out, "string_export.tsv"), export, final_newline=False)
    proteins = len({p for e in edges for p in e})
    for name in ("string_links.txt", "string_full.txt", "string_export.tsv"):
        expect[name] = {"args": [], "proteins": proteins, "interactions": len(edges)}
    expect["string_links.txt"]["weights"] = True


BIOGRID2 = ["#BioGRID Interaction ID", "Entrez Gene Interactor A", "Entrez Gene Interactor B",
            "BioGRID ID Interactor A", "BioGRID ID Interactor B", "Systematic Name Interactor A",
            "Systematic Name Interactor B", "Official Symbol Interactor A", "Official Symbol Interactor B",
            "Synonyms Interactor A", "Synonyms Interactor B", "Experimental System", "Experimental System Type",
            "Author", "Pubmed ID", "Organism Interactor A", "Organism Interactor B", "Throughput", "Score",
            "Modification", "Phenotypes", "Qualifications", "Tags", "Source Database"]
BIOGRID3 = BIOGRID2[:14] + ["Publication Source", "Organism ID Interactor A", "Organism ID Interactor B",
                            "Throughput", "Score", "Modification", "Qualifications", "Tags", "Source Database",
                            "SWISS-PROT Accessions Interactor A", "TREMBL Accessions Interactor A",
                            "REFSEQ Accessions Interactor A", "SWISS-PROT Accessions Interactor B",
                            "TREMBL Accessions Interactor B", "REFSEQ Accessions Interactor B",
                            "Ontology Term IDs", "Ontology Term Names", "Ontology Term Categories",
                            "Ontology Term Qualifier IDs", "Ontology Term Qualifier Names", "Ontology Term Types",
                            "Organism Name Interactor A", "Organism Name Interactor B"]


def biogrid_row(version, number, a, b, kind):
    system = "Two-hybrid" if kind == "physical" else "Synthetic Lethality"
    common = [str(number), entrez(a), entrez(b), str(110000 + a), str(110000 + b), "RP4-%d.3" % a, "-",
              symbol(a), symbol(b), "ALIAS%d|SYN%d" % (a, a), "-", system, kind, "Author A (2001)"]
    if version == 2:
        return common + ["1234567", "9606", "9606", "Low Throughput", "-", "-", "-", "-", "-", "BIOGRID"]
    return common + ["PUBMED:1234567", "9606", "9606", "Low Throughput", "-", "-", "free text, with spaces", "-",
                     "BIOGRID", uniprot(a), "-", "NP_%d" % a, uniprot(b), "-", "-", "-", "-", "-", "-", "-",
                     "-", "Homo sapiens", "Homo sapiens"]


def biogrid_files(out, edges, genetic, rng, expect):
    for version, name, header in ((2, "biogrid_tab2.txt", BIOGRID2), (3, "biogrid_tab3.txt", BIOGRID3)):
        rows = [(a, b, "physical") for a, b in oriented(edges, rng)] + [(a, b, "genetic") for a, b in genetic]
        rows.append((edges[0][0], edges[0][0], "physical"))  # a self pair
        rng.shuffle(rows)
        lines = ["\t".join(header)] + ["\t".join(biogrid_row(version, 100 + i, a, b, kind)) for i, (a, b, kind) in enumerate(rows)]
        write(os.path.join(out, name), lines, final_newline=version == 2)
        expect[name] = {"args": [], "proteins": len({p for e in edges for p in e}), "interactions": len(edges),
                        "genetic": len(genetic)}
        everything = set(edges) | {(min(a, b), max(a, b)) for a, b in genetic}
        expect[name.replace(".txt", "_genetic.txt")] = {
            "file": name, "args": ["--genetic"], "proteins": len({p for e in everything for p in e}),
            "interactions": len(everything)}


MITAB_NAMES = ["ID(s) interactor A", "ID(s) interactor B", "Alt. ID(s) interactor A", "Alt. ID(s) interactor B",
               "Alias(es) interactor A", "Alias(es) interactor B", "Interaction detection method(s)",
               "Publication 1st author(s)", "Publication Identifier(s)", "Taxid interactor A",
               "Taxid interactor B", "Interaction type(s)", "Source database(s)", "Interaction identifier(s)",
               "Confidence value(s)"]
INNATEDB_NAMES = ["unique_identifier_A", "unique_identifier_B", "alt_identifier_A", "alt_identifier_B", "alias_A",
                  "alias_B", "interaction_detection_method", "author", "pmid", "ncbi_taxid_A", "ncbi_taxid_B",
                  "interaction_type", "source_database", "idinteraction_in_source_db", "confidence_score"]


def mitab_row(a, b, taxon_a, taxon_b, confidence, columns, ids):
    fields = [ids(a), ids(b), "-", "-", "psi-mi:%s(display_short)" % symbol(a), "-",
              'psi-mi:"MI:0018"(two hybrid)', "Author et al. (2001)", "pubmed:1234567", taxon_a, taxon_b,
              'psi-mi:"MI:0915"(physical association)', 'psi-mi:"MI:0469"(IntAct, with, commas)',
              "intact:EBI-%d" % (a * 1000 + b), confidence]
    return fields + ["-"] * (columns - 15)


def mitab_files(out, edges, others, rng, expect):
    human = "taxid:9606(human)|taxid:9606(Homo sapiens)"
    mouse = "taxid:10090(mouse)"
    proteins = len({p for e in edges for p in e})
    everything = set(edges) | set(others)
    all_proteins = len({p for e in everything for p in e})
    intact = lambda i: "uniprotkb:%s|intact:EBI-%d" % (uniprot(i), 10 + i)

    def evidence_rows():
        rows = []
        for a, b in edges:  # one row per piece of evidence, some reversed
            for _ in range(rng.randint(1, 3)):
                rows.append((a, b) if rng.random() < 0.7 else (b, a))
        return rows

    def variant(name, header, columns, confidence, ids, final_newline=True, taxa=(human, human)):
        rows = [mitab_row(a, b, taxa[0], taxa[1], confidence(), columns, ids) for a, b in evidence_rows()]
        rows += [mitab_row(a, b, human, mouse, confidence(), columns, ids) for a, b in others]
        rows.append(mitab_row(edges[0][1], edges[0][1], taxa[0], taxa[1], confidence(), columns, ids))
        rng.shuffle(rows)
        lines = ([header] if header is not None else []) + ["\t".join(r) for r in rows]
        write(os.path.join(out, name), lines, final_newline)
        expect[name] = {"args": [], "proteins": all_proteins, "interactions": len(everything)}
        expect[name.rsplit(".", 1)[0] + "_taxon." + name.rsplit(".", 1)[1]] = {
            "file": name, "args": ["--taxon", "9606"], "proteins": proteins, "interactions": len(edges),
            "other_taxon": len(others)}

    variant("mitab25.txt", "#" + "\t".join(MITAB_NAMES), 15, lambda: "intact-miscore:%.2f" % rng.random(), intact)
    expect["mitab25.txt"]["weights"] = True
    variant("mitab26.tsv", "# " + "\t".join(MITAB_NAMES + ["x%d" % i for i in range(16, 37)]), 36,
            lambda: "intact-miscore:0.%d|author-based confidence:high" % rng.randint(10, 99), intact, False)
    # A two-hybrid screen written with the yeast host first in the taxon column of A.
    variant("mitab27_noheader.txt", None, 42, lambda: "author-score:C", lambda i: "uniprotkb:" + uniprot(i),
            taxa=("taxid:4932(yeasx)|taxid:9606(human)", "taxid:9606(human)"))
    variant("innatedb.txt", "#" + "\t".join(INNATEDB_NAMES + ["y%d" % i for i in range(16, 43)]), 42,
            lambda: "lpr:1|hpr:1|np:1|", lambda i: "innatedb:IDBG-%d" % (100 + i))
    dip_header = "\t" + "\t".join([n.replace("(s)", "") for n in MITAB_NAMES] + ["Processing Status"]) + "\t"
    variant("dip.txt", dip_header, 18, lambda: "dip-quality-status:core", lambda i: "DIP-%dN|uniprotkb:%s" % (i, uniprot(i)))


def huri_files(out, edges, expect):
    pairs = sorted((ensg(a), ensg(b)) for a, b in edges)
    pairs.append((ensg(edges[0][0]), ensg(edges[0][0])))  # HuRI has self pairs
    pairs.sort()
    write(os.path.join(out, "huri.tsv"), ["GeneA\tGeneB"] + ["%s\t%s" % p for p in pairs])
    write(os.path.join(out, "huri_noheader.tsv"), ["%s\t%s" % p for p in pairs])
    table9 = ["\t".join(["Ensembl_gene_id_a", "Ensembl_gene_id_b"] + ["in_screen_%d" % i for i in range(1, 10)] +
                        ["in_assay_v1", "in_assay_v2", "in_assay_v3"])]
    table9 += ["\t".join(list(p) + [str((i + k) % 2) for k in range(12)]) for i, p in enumerate(pairs)]
    write(os.path.join(out, "huri_table9.tsv"), table9)
    proteins = len({p for e in edges for p in e})
    for name in ("huri.tsv", "huri_noheader.tsv", "huri_table9.tsv"):
        expect[name] = {"args": [], "proteins": proteins, "interactions": len(edges)}


def bioplex_file(out, edges, rng, expect):
    lines = ["\t".join(["GeneA", "GeneB", "UniprotA", "UniprotB", "SymbolA", "SymbolB", "p(Wrong)",
                        "p(No Interaction)", "p(Interaction)"])]
    for a, b in oriented(edges, rng):
        p = rng.random()
        lines.append("\t".join([entrez(a), entrez(b), uniprot(a) + "-2", uniprot(b), symbol(a), symbol(b),
                                "%.6g" % ((1 - p) / 2), "%.6g" % ((1 - p) / 2), "%.6g" % p]))
    write(os.path.join(out, "bioplex.tsv"), lines)
    expect["bioplex.tsv"] = {"args": [], "proteins": len({p for e in edges for p in e}),
                             "interactions": len(edges), "weights": True}


def cut_counts(scored, least):
    """Proteins and interactions of the pairs whose score is at least `least`."""
    kept = {e for e, score in scored.items() if score >= least}
    return {"proteins": len({p for e in kept for p in e}), "interactions": len(kept)}


def hippie_hint_files(out, edges, rng, expect):
    """HIPPIE and HINT as their documentation lays them out (no genuine sample at hand): HIPPIE
    without header, "name, Entrez, name, Entrez, score, evidence"; HINT headed "Uniprot_A
    Uniprot_B Gene_A Gene_B ..."."""
    scores = {e: round(rng.random(), 2) for e in edges}
    lines = []
    for a, b in oriented(edges, rng):
        score = scores[(min(a, b), max(a, b))]
        lines.append("\t".join(["%s_HUMAN" % symbol(a), entrez(a), "%s_HUMAN" % symbol(b), entrez(b), "%.2f" % score,
                                "experiments:in vivo,Two-hybrid;pmids:1234567;sources:BioGRID,HPRD"]))
    write(os.path.join(out, "hippie.txt"), lines)
    proteins = len({p for e in edges for p in e})
    expect["hippie.txt"] = {"args": [], "proteins": proteins, "interactions": len(edges), "weights": True}
    expect["hippie_names.txt"] = {"file": "hippie.txt", "args": ["--ids", "uniprot"], "proteins": proteins,
                                  "interactions": len(edges), "weights": True}
    expect["hippie_cut.txt"] = dict(cut_counts(scores, 0.5), file="hippie.txt", args=["--min-weight", "0.5"])
    hint = ["Uniprot_A\tUniprot_B\tGene_A\tGene_B\tpmid:method:quality"]
    hint += ["\t".join([uniprot(a), uniprot(b), symbol(a), symbol(b), "1234567:MI:0018:LC"])
             for a, b in oriented(edges, rng)]
    write(os.path.join(out, "hint.txt"), hint)
    expect["hint.txt"] = {"args": [], "proteins": proteins, "interactions": len(edges)}
    expect["hint_symbols.txt"] = {"file": "hint.txt", "args": ["--ids", "symbol"], "proteins": proteins,
                                  "interactions": len(edges)}


def csv_files(out, edges, rng, expect):
    """STRING links as pandas' to_csv writes them (an unnamed index column first), a quoted
    comma-separated list as R's write.csv writes it without row names, and HuRI tables with
    lower-case headers."""
    scores = {e: rng.randint(150, 999) for e in edges}
    lines = [",protein1,protein2,combined_score"]
    for i, (a, b) in enumerate(oriented(edges, rng)):
        lines.append("%d,%s,%s,%d" % (i, ensp(a), ensp(b), scores[(min(a, b), max(a, b))]))
    write(os.path.join(out, "string_links.csv"), lines)
    proteins = len({p for e in edges for p in e})
    expect["string_links.csv"] = {"args": [], "proteins": proteins, "interactions": len(edges), "weights": True}
    expect["string_links_cut.csv"] = dict(cut_counts(scores, 700), file="string_links.csv",
                                          args=["--min-weight", "0.7"])
    quoted = ['"%s","%s",%.3f' % (symbol(a), symbol(b), rng.random()) for a, b in oriented(edges, rng)]
    write(os.path.join(out, "list.csv"), quoted)
    expect["list.csv"] = {"args": [], "proteins": proteins, "interactions": len(edges), "weights": True}
    pairs = ["%s\t%s" % (ensg(a), ensg(b)) for a, b in edges]
    write(os.path.join(out, "huri_lower.tsv"), ["genea\tgeneb"] + pairs)
    write(os.path.join(out, "huri_table9_lower.tsv"), ["ensembl_gene_id_a\tensembl_gene_id_b\tin_screen_1"] +
          [p + "\t1" for p in pairs])
    for name in ("huri_lower.tsv", "huri_table9_lower.tsv"):
        expect[name] = {"args": [], "proteins": proteins, "interactions": len(edges)}


def plain_file(out, edges, rng, expect):
    lines = ["# a plain edge list with a comment, a weight column and a repeat"]
    lines += ["%s\t%s %.3f" % (symbol(a), symbol(b), rng.random()) for a, b in oriented(edges, rng)]
    lines.append("%s %s 0.5" % (symbol(edges[0][1]), symbol(edges[0][0])))
    write(os.path.join(out, "plain.txt"), lines)
    expect["plain.txt"] = {"args": [], "proteins": len({p for e in edges for p in e}), "interactions": len(edges)}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("outdir")
    parser.add_argument("--proteins", type=int, default=60)
    parser.add_argument("--interactions", type=int, default=150)
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()
    if args.interactions > args.proteins * (args.proteins - 1) // 4:
        parser.error("too many interactions for so few proteins")
    rng = random.Random(args.seed)
    os.makedirs(args.outdir, exist_ok=True)
    all_edges = make_network(args.proteins, args.interactions + args.interactions // 5, rng)
    rng.shuffle(all_edges)
    edges = sorted(all_edges[: args.interactions])
    extra = sorted(all_edges[args.interactions:])  # genetic rows, other species: never interactions
    # The extra pairs use proteins of their own, so skipping them changes the protein count too.
    extra = [(a + args.proteins, b + args.proteins) for a, b in extra]
    expect = {}
    plain_file(args.outdir, edges, rng, expect)
    string_files(args.outdir, edges, rng, expect)
    biogrid_files(args.outdir, edges, extra, rng, expect)
    mitab_files(args.outdir, edges, extra, rng, expect)
    huri_files(args.outdir, edges, expect)
    bioplex_file(args.outdir, edges, rng, expect)
    hippie_hint_files(args.outdir, edges, rng, expect)
    csv_files(args.outdir, edges, rng, expect)
    with open(os.path.join(args.outdir, "expected.json"), "w", encoding="ascii") as out:
        json.dump(expect, out, indent=1, sort_keys=True)


if __name__ == "__main__":
    main()
