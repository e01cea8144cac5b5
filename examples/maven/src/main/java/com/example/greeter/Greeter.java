package com.example.greeter;

import java.util.List;

import org.apache.commons.cli.CommandLine;
import org.apache.commons.cli.DefaultParser;
import org.apache.commons.cli.HelpFormatter;
import org.apache.commons.cli.Option;
import org.apache.commons.cli.Options;
import org.apache.commons.cli.ParseException;
import org.apache.commons.lang3.StringUtils;

/** Greets someone, a few times, maybe loudly: its options read by Commons CLI, its text made with Commons Lang. */
public final class Greeter {
    private Greeter() {
    }

    public static void main(String[] args) {
        Options options = new Options();
        options.addOption(Option.builder("n").longOpt("name").hasArg().desc("whom to greet").build());
        options.addOption(Option.builder("t").longOpt("times").hasArg().desc("how often").build());
        options.addOption("s", "shout", false, "in capitals");
        CommandLine line;
        try {
            line = new DefaultParser().parse(options, args);
        } catch (ParseException e) {
            System.err.println(e.getMessage());
            new HelpFormatter().printHelp("greeter", options);
            System.exit(2);
            return;
        }
        String greeting = System.getProperty("greeter.greeting", "Hello") + ", "
                + StringUtils.capitalize(line.getOptionValue("name", "world"))
                + System.getProperty("greeter.punctuation", ".");
        if (line.hasOption("shout")) {
            greeting = StringUtils.upperCase(greeting);
        }
        int times = Integer.parseInt(line.getOptionValue("times", "1"));
        for (int i = 0; i < times; i++) {
            System.out.println(greeting);
        }
        List<String> rest = line.getArgList();
        if (!rest.isEmpty()) {
            System.out.println("and to " + rest.size() + " more: [" + StringUtils.join(rest, "] [") + "]");
        }
    }
}
