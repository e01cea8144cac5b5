package agent;

import java.lang.instrument.Instrumentation;

/** A Java agent that says it ran, and through which class loader. */
public class Agent {
    public static void premain(String arguments, Instrumentation instrumentation) {
        System.out.println("agent=premain " + Agent.class.getClassLoader().getClass().getName());
        System.out.flush();
    }
}
