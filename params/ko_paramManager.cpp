// Parameter manager (being written).
