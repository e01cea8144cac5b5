package com.tarvolin.xoq.maven;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Paths;
import java.util.Arrays;
import java.util.Set;
import java.util.TreeSet;
import java.util.regex.Matcher;
import java.util.regex.Pattern;

import org.junit.jupiter.api.Test;

class ConfigurationTextTest {
    @Test
    void argumentsComeBackWhole() {
        // What the launcher's argv splitting gives back from each quoted form.
        assertEquals("--verbose", ConfigurationText.quoteArgument("--verbose"));
        assertEquals("\"two words\"", ConfigurationText.quoteArgument("two words"));
        assertEquals("\"tab\there\"", ConfigurationText.quoteArgument("tab\there"));
        assertEquals("\"\"", ConfigurationText.quoteArgument(""));
        assertEquals("\"say \\\"hi\\\"\"", ConfigurationText.quoteArgument("say \"hi\""));
        assertEquals("\"a\\\\\\\"b\"", ConfigurationText.quoteArgument("a\\\"b"));
        assertEquals("\"C:\\Program Files\\\\\"", ConfigurationText.quoteArgument("C:\\Program Files\\"));
        assertEquals("C:\\dir\\", ConfigurationText.quoteArgument("C:\\dir\\"));
    }

    @Test
    void valuesKeepWhatTheLauncherWouldStrip() throws PackagingException {
        ConfigurationText text = new ConfigurationText();
        text.add("option", "-Dgreeting=hello world", "<jvmOptions>");
        text.add("option", "=starts with an equals sign", "<jvmOptions>");
        text.add("property", "app.title=Grüß Gott  ", "<systemProperties>");
        text.addArgument("two words");
        assertEquals(Arrays.asList("option -Dgreeting=hello world", "option ==starts with an equals sign",
                "property app.title=Grüß Gott  ", "argv \"two words\""), text.lines());
        byte[] bytes = text.bytes();
        assertArrayEquals(new byte[] {(byte) 0xEF, (byte) 0xBB, (byte) 0xBF}, Arrays.copyOf(bytes, 3));
        assertTrue(new String(bytes, StandardCharsets.UTF_8).endsWith("argv \"two words\"\n"));
    }

    @Test
    void valuesTheFormatCannotHoldAreRefused() {
        ConfigurationText text = new ConfigurationText();
        PackagingException lineBreak = assertThrows(PackagingException.class,
                () -> text.add("option", "-Da=1\n-Db=2", "<jvmOptions>"));
        assertEquals("The value \"-Da=1\\n-Db=2\" of <jvmOptions> holds a line break or NUL: a configuration"
                + " value is one line", lineBreak.getMessage());
        assertThrows(PackagingException.class, () -> text.addArgument("one\rtwo"));
        assertThrows(PackagingException.class, () -> text.add("property", " x=1", "<systemProperties>"));
        assertTrue(text.isEmpty());
    }

    @Test
    void linesMustNameAKeyTheLauncherReads() throws PackagingException {
        ConfigurationText text = new ConfigurationText();
        text.addLine("SingleInstance true");
        text.addLine("  jre_order=be");
        text.addLine("# a remark");
        text.addLine("");
        assertEquals(Arrays.asList("SingleInstance true", "  jre_order=be"), text.lines());
        PackagingException typo = assertThrows(PackagingException.class, () -> text.addLine("singleinstanse true"));
        assertEquals("The line \"singleinstanse true\" of <configLines> names no configuration key that the"
                + " launcher reads (docs/configuration.md lists them)", typo.getMessage());
        // A longer word is another key, as the launcher reads it.
        assertThrows(PackagingException.class, () -> text.addLine("optionx -Xmx1g"));
        assertThrows(PackagingException.class, () -> text.addLine("mainclass com.example.Main"));
    }

    @Test
    void theKeysAreTheDocumentedOnes() throws IOException {
        // The first cell of each row of the summary table: | [`key`](#key) | or | [`a`, `b`](#a-and-b) |
        String doc = new String(Files.readAllBytes(Paths.get(System.getProperty("xoq.configuration.doc"))),
                StandardCharsets.UTF_8);
        Set<String> documented = new TreeSet<>();
        for (String line : doc.split("\n")) {
            if (line.startsWith("| [`")) {
                Matcher key = Pattern.compile("`([a-z_]+)`").matcher(line.split("\\|")[1]);
                while (key.find()) {
                    documented.add(key.group(1));
                }
            }
        }
        assertEquals(documented, new TreeSet<>(ConfigurationText.KEYS));
    }
}
