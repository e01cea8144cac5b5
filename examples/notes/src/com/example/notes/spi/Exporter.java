package com.example.notes.spi;

import java.util.List;

/** Turns notes into one output format. */
public interface Exporter {
    String name();

    String export(List<String> notes);
}
