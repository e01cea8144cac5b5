package com.example.exporters;

import com.example.notes.spi.Exporter;
import java.util.List;

/** Notes as an HTML list. */
public class HtmlExporter implements Exporter {
    public String name() {
        return "html";
    }

    public String export(List<String> notes) {
        StringBuilder out = new StringBuilder("<ul>\n");
        for (String note : notes) {
            String escaped = note.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;");
            out.append("  <li>").append(escaped.replace("\n", "<br>")).append("</li>\n");
        }
        return out.append("</ul>").toString();
    }
}
