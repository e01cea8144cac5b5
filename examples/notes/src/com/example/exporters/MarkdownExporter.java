package com.example.exporters;

import com.example.notes.spi.Exporter;
import java.util.List;

/** Notes as a Markdown list. */
public class MarkdownExporter implements Exporter {
    public String name() {
        return "markdown";
    }

    public String export(List<String> notes) {
        StringBuilder out = new StringBuilder();
        for (String note : notes) {
            out.append("- ").append(note.replace("\n", "\n  ")).append('\n');
        }
        return out.toString().trim();
    }
}
