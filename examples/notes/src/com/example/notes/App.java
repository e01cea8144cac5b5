package com.example.notes;

import com.example.notes.spi.Exporter;
import com.example.text.Wrapper;
import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.io.InputStream;
import java.util.ArrayList;
import java.util.List;
import java.util.Properties;
import java.util.ServiceLoader;

/**
 * A small notes tool: wraps the notes given on the command line and exports
 * them in every format it has an exporter for. Its own jar, a text library
 * and a jar of exporters all travel inside the executable.
 */
public class App {
    public static void main(String[] args) throws IOException {
        Properties settings = new Properties();
        InputStream in = App.class.getResourceAsStream("/com/example/notes/settings.properties");
        settings.load(in);
        in.close();
        int width = Integer.parseInt(settings.getProperty("width", "40"));

        System.out.println(read("notes/greeting.txt").trim());
        System.out.println("notes " + App.class.getPackage().getImplementationVersion()
                + ", text library " + Wrapper.class.getPackage().getImplementationVersion());

        List<String> notes = new ArrayList<String>();
        for (String arg : args) {
            notes.add(Wrapper.wrap(arg, width));
        }
        if (notes.isEmpty()) {
            notes.add(Wrapper.wrap(read("notes/sample.txt").trim(), width));
        }
        for (Exporter exporter : ServiceLoader.load(Exporter.class, App.class.getClassLoader())) {
            System.out.println("--- " + exporter.name());
            System.out.println(exporter.export(notes));
        }
    }

    private static String read(String resource) throws IOException {
        InputStream in = App.class.getClassLoader().getResourceAsStream(resource);
        if (in == null) {
            return "";
        }
        ByteArrayOutputStream buffer = new ByteArrayOutputStream();
        byte[] chunk = new byte[4096];
        for (int n; (n = in.read(chunk)) > 0;) {
            buffer.write(chunk, 0, n);
        }
        in.close();
        return buffer.toString("UTF-8");
    }
}
