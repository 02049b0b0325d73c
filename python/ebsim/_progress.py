"""The bar of ebsim.sweep(progress=True)."""

import warnings


def bar(total):
    """A tqdm bar of `total` rows: tqdm.auto's, a widget in a notebook where
    ipywidgets can draw one, else text on standard error (in a notebook too,
    without the warning tqdm gives there)."""
    with warnings.catch_warnings():
        warnings.filterwarnings("ignore", message="IProgress not found")
        from tqdm.auto import tqdm
    return tqdm(total=total, unit="rows", desc="ebsim.sweep")
