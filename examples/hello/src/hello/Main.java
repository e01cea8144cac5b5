package hello;

/** The smallest xoq application: greets, and shows what the launcher handed it. */
public class Main {
    public static void main(String[] args) {
        System.out.println("Hello from a Java program packaged with xoq.");
        System.out.println("Java " + System.getProperty("java.version") + " from "
                + System.getProperty("java.home"));
        System.out.println("Executable: " + System.getProperty("xoq.app.path"));
        for (int i = 0; i < args.length; i++) {
            System.out.println("Argument " + i + ": " + args[i]);
        }
    }
}
