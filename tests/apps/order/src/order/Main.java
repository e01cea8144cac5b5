package order;

/**
 * Prints, one "key=value" line each, where the classes that the order test
 * asks about came from: a class that two jars hold, and one in a package
 * that a module of the runtime owns.
 */
public class Main {
    public static void main(String[] args) {
        System.out.println("twin=" + twin.Twin.from());
        System.out.println("twin.loader=" + (twin.Twin.class.getClassLoader() == Main.class.getClassLoader()
                ? "same" : String.valueOf(twin.Twin.class.getClassLoader())));
        System.out.println("module.class=" + javax.xml.datatype.DatatypeConstants.class.getName() + " from "
                + javax.xml.datatype.DatatypeConstants.class.getClassLoader());
        try {
            Class<?> shadow = Class.forName("javax.xml.datatype.FromAnOldJar");
            System.out.println("shadow=defined by " + shadow.getClassLoader().getClass().getName());
        } catch (ClassNotFoundException e) {
            System.out.println("shadow=ClassNotFoundException");
        }
        try {
            Class.forName("twin.Missing");
            System.out.println("missing=found");
        } catch (ClassNotFoundException e) {
            System.out.println("missing=ClassNotFoundException");
        }
    }
}
