// Motion recorder (being written).
