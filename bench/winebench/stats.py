"""Medians, spreads, ratios and the growth per item, over lists of records or numbers where a
failed run is None."""

import statistics


def present(values):
    return [value for value in values if value is not None]


def median_of(values):
    values = present(values)
    return statistics.median(values) if values else None


def spread_of(values):
    values = present(values)
    return max(values) - min(values) if values else None


def min_max(values):
    values = present(values)
    return (min(values), max(values)) if values else (None, None)


def ratio(top, bottom):
    return None if top is None or not bottom else top / bottom


def extra_per_item(value, standard, items):
    """(value − the standard installation's) / items: what one more item costs."""
    return None if value is None or standard is None or not items else (value - standard) / items


def growth_verdict(small, large, noise_small, noise_large):
    """Whether the extra cost per item at two sizes agrees within the noise: a word and the factor."""
    if small is None or large is None or noise_small is None:
        return "not measured", None
    if large <= noise_large:
        return "below the noise", None
    if small <= noise_small:
        return "within the noise at the smaller size", None
    factor = large / small
    if abs(large - small) <= noise_small + noise_large:
        return "flat", factor
    return ("grows" if large > small else "falls"), factor
