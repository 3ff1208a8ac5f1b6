"""The reading options are checked by the same code as vornel's command line: what the program
refuses, read_network refuses, naming the keyword argument and the value."""

import pytest

import vornel


@pytest.mark.parametrize("keyword, value, message", [
    ("taxon", "abc", r"taxon='abc' is not an NCBI taxon id \(digits\)"),
    ("columns", "1", r"columns='1' is not A,B or A,B,W"),
    ("format", "stringdb", r"format='stringdb' is not one of plain, string"),
    ("ids", "gene", r"ids='gene' is not one of entrez"),
    ("min_weight", float("inf"), r"min_weight='inf' is not a number"),
])
def test_refused_reading_options_raise_value_error_naming_the_keyword(tmp_path, keyword, value, message):
    network = tmp_path / "net.tsv"
    network.write_text("A\tB\nA\tC\nB\tC\n")
    with pytest.raises(ValueError, match=message):
        vornel.read_network(network, **{keyword: value})
    # The same options, well formed, are taken.
    assert vornel.read_network(network, taxon="", columns="1,2", format="plain").interaction_count == 3
