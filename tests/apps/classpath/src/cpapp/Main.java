package cpapp;

/** Prints what it reaches through its jar's Class-Path: a chain of jars. */
public final class Main {
  private Main() {}

  public static void main(String[] args) {
    System.out.println("main " + one.One.describe() + " " + String.join(",", args));
  }
}
