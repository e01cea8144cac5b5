package javax.xml.datatype;

/** A class in a package of the runtime's java.xml module, as old xml-apis jars carry them. */
public class FromAnOldJar {
}
